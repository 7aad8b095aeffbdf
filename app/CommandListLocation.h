// Where the command list is read from.
#pragma once

#include <string>

// "commandList.ini" in the working folder when anything of that name is there
// (a file that can't be read is then reported, not passed over). Otherwise the
// per-user copy, $XDG_CONFIG_HOME/korvastel/commandList.ini or, with that
// variable unset, empty or relative, ~/.config/korvastel/commandList.ini, when
// it is there. Otherwise "commandList.ini" again, so the missing-file message
// reads as it always has. Null or empty `home` means no home folder.
std::string CommandListPath(const char* xdgConfigHome, const char* home);
