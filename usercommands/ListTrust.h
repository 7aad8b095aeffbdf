// Whether a command list found in the working folder may be read. A job run
// from a shared folder, or a user who starts the program in someone else's
// folder, must not have the commands behind "Users/add user" chosen by
// whoever can write there. The window and korvastel-cli both ask this.
#pragma once

#include <sys/types.h>

#include <string>

namespace usercommands {

enum class ListTrust {
  Trusted,           // a regular file of this user's that no one else may write or replace
  Missing,           // nothing of that name
  Link,              // a symbolic link, which is not followed
  NotAFile,          // a folder, FIFO, device or socket
  OtherOwner,        // owned by another user
  WritableByOthers,  // its group or all users may write it
  OpenFolder,        // its folder lets others rename or replace it
  Unchecked,         // it or its folder can't be looked at
};

struct ListCheck {
  ListTrust verdict = ListTrust::Missing;
  uid_t owner = 0;  // the file's owner, when it was looked at
};

// Looks at `path` itself (lstat: a link is judged as a link, never through
// it) and at its folder, for the effective user. The folder counts as closed
// when only this user or root may change its entries: its owner is one of
// them, and it is writable by no one else or has the sticky bit (/tmp).
ListCheck CheckListFile(const std::string& path);

// Why a file was passed over, to follow its name: "is writable by others ...".
// Empty for Trusted and Missing.
std::string ListTrustReason(const ListCheck& check);

}  // namespace usercommands
