#include "CommandListFile.h"

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <system_error>

#include "IniFile.h"
#include "ListTrust.h"

namespace usercommands {

namespace fs = std::filesystem;

namespace {
bool Present(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() != fs::file_type::not_found && !error;
}
}  // namespace

CommandListChoice ChooseCommandList(const char* xdgConfigHome, const char* home) {
  const ListCheck local = CheckListFile(kCommandListFile);
  if (local.verdict == ListTrust::Trusted) return {kCommandListFile, {}};
  fs::path config;
  if (xdgConfigHome && *xdgConfigHome && fs::path(xdgConfigHome).is_absolute())
    config = xdgConfigHome;
  else if (home && *home)
    config = fs::path(home) / ".config";
  const std::string perUser = config.empty() ? std::string() : (config / "korvastel" / kCommandListFile).string();
  if (local.verdict == ListTrust::Missing)
    return {!perUser.empty() && Present(perUser) ? perUser : kCommandListFile, {}};

  std::error_code error;
  const fs::path here = fs::current_path(error) / kCommandListFile;
  std::string skipped =
      "Not read: " + (error ? std::string(kCommandListFile) : here.string()) + " " + ListTrustReason(local) + "; ";
  skipped += perUser.empty()    ? "there is no per-user command list (no home folder)."
             : Present(perUser) ? "read " + perUser + " instead."
                                : "no user commands, since " + perUser + " is missing too.";
  return {perUser, skipped};
}

LoadedCommandList LoadCommandList(const std::string& path) {
  LoadedCommandList list;
  if (path.empty()) {
    CommandListChoice choice = ChooseCommandList(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
    list.path = std::move(choice.path);
    list.skipped = std::move(choice.skipped);
  } else {
    list.path = path;
  }
  std::error_code ec;
  list.missing = !fs::exists(list.path, ec);
  IniStorage storage;
  try {
    IniFile().Read(list.path, &storage, IniFile::ReplaceKeys);
    list.storage = std::move(storage);
  } catch (const std::exception& e) {
    list.error = e.what();
  }
  return list;
}

}  // namespace usercommands
