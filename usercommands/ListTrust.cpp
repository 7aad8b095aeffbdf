#include "ListTrust.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace usercommands {

namespace {
bool MayChange(uid_t owner, uid_t user) { return owner == user || owner == 0; }
}  // namespace

ListCheck CheckListFile(const std::string& path) {
  ListCheck check;
  struct stat file {};
  if (::lstat(path.c_str(), &file) != 0) {
    check.verdict = errno == ENOENT || errno == ENOTDIR ? ListTrust::Missing : ListTrust::Unchecked;
    return check;
  }
  check.owner = file.st_uid;
  const uid_t user = ::geteuid();
  std::string folder = std::filesystem::path(path).parent_path().string();
  if (folder.empty()) folder = ".";
  struct stat dir {};
  if (S_ISLNK(file.st_mode))
    check.verdict = ListTrust::Link;
  else if (!S_ISREG(file.st_mode))
    check.verdict = ListTrust::NotAFile;
  else if (file.st_uid != user)
    check.verdict = ListTrust::OtherOwner;
  else if (file.st_mode & (S_IWGRP | S_IWOTH))
    check.verdict = ListTrust::WritableByOthers;
  else if (::stat(folder.c_str(), &dir) != 0)
    check.verdict = ListTrust::Unchecked;
  // Whoever may change the folder's entries may swap the file between this look and the read.
  else if (!MayChange(dir.st_uid, user) || ((dir.st_mode & (S_IWGRP | S_IWOTH)) && !(dir.st_mode & S_ISVTX)))
    check.verdict = ListTrust::OpenFolder;
  else
    check.verdict = ListTrust::Trusted;
  return check;
}

std::string ListTrustReason(const ListCheck& check) {
  switch (check.verdict) {
    case ListTrust::Trusted:
    case ListTrust::Missing:
      return {};
    case ListTrust::Link:
      return "is a symbolic link, which is not followed";
    case ListTrust::NotAFile:
      return "is not a regular file";
    case ListTrust::OtherOwner:
      return "belongs to another user (uid " + std::to_string(check.owner) + ")";
    case ListTrust::WritableByOthers:
      return "is writable by others (its group or all users)";
    case ListTrust::OpenFolder:
      return "is in a folder where others may replace it";
    case ListTrust::Unchecked:
      return "can't be checked";
  }
  return {};
}

}  // namespace usercommands
