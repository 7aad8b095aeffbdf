// Where the command list is read from, and reading it: the window, Run on
// Sites and korvastel-cli all load it here, each telling a failure in its own
// words.
#pragma once

#include <string>

#include "IniStorage.h"

namespace usercommands {

inline constexpr const char* kCommandListFile = "commandList.ini";

struct CommandListChoice {
  std::string path;
  // One sentence when a commandList.ini in the working folder was passed
  // over: which file, why, and what is read instead. Empty otherwise.
  std::string skipped;
};

// "commandList.ini" in the working folder when it passes the ownership rule
// (ListTrust.h: a regular file of this user's that no one else may write or
// replace). Otherwise the per-user copy,
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

// A command list as read, or why it could not be.
struct LoadedCommandList {
  std::string path;      // the file read or tried
  std::string skipped;   // as CommandListChoice's, when the file was chosen here
  bool missing = false;  // nothing at path (or it can't be looked at): a list never written
  std::string error;     // the reader's words when the file could not be read; empty when it was
  IniStorage storage;    // what the file holds; empty unless it was read
};

// Reads `path`, or with `path` empty the file ChooseCommandList picks from
// $XDG_CONFIG_HOME and $HOME. A key line given twice in a block keeps the
// later one (IniFile::ReplaceKeys).
LoadedCommandList LoadCommandList(const std::string& path = {});

}  // namespace usercommands
