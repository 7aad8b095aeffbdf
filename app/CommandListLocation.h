// Where the command list is read from.
#pragma once

#include <string>

struct CommandListChoice {
  std::string path;
  // One sentence when a commandList.ini in the working folder was passed
  // over: which file, why, and what is read instead. Empty otherwise.
  std::string skipped;
};

// "commandList.ini" in the working folder when it passes the ownership rule
// (usercommands/ListTrust.h: a regular file of this user's that no one else
// may write or replace). Otherwise the per-user copy,
// $XDG_CONFIG_HOME/korvastel/commandList.ini or, with that variable unset,
// empty or relative, ~/.config/korvastel/commandList.ini. With neither there,
// "commandList.ini" again, so the missing-file message reads as it always
// has; but never the working folder's file once it was passed over (the
// per-user path is given then, missing or not). Null or empty `home` means
// no home folder.
CommandListChoice ChooseCommandList(const char* xdgConfigHome, const char* home);

inline std::string CommandListPath(const char* xdgConfigHome, const char* home) {
  return ChooseCommandList(xdgConfigHome, home).path;
}
