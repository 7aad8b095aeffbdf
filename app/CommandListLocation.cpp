#include "CommandListLocation.h"

#include <filesystem>
#include <system_error>

#include "ListTrust.h"
#include "res/Strings.h"

namespace fs = std::filesystem;

namespace {
bool Present(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() != fs::file_type::not_found && !error;
}
}  // namespace

CommandListChoice ChooseCommandList(const char* xdgConfigHome, const char* home) {
  const usercommands::ListCheck local = usercommands::CheckListFile(kCommandListFile);
  if (local.verdict == usercommands::ListTrust::Trusted) return {kCommandListFile, {}};
  fs::path config;
  if (xdgConfigHome && *xdgConfigHome && fs::path(xdgConfigHome).is_absolute())
    config = xdgConfigHome;
  else if (home && *home)
    config = fs::path(home) / ".config";
  const std::string perUser = config.empty() ? std::string() : (config / "korvastel" / kCommandListFile).string();
  if (local.verdict == usercommands::ListTrust::Missing)
    return {!perUser.empty() && Present(perUser) ? perUser : kCommandListFile, {}};

  std::error_code error;
  const fs::path here = fs::current_path(error) / kCommandListFile;
  std::string skipped = "Not read: " + (error ? std::string(kCommandListFile) : here.string()) + " " +
                        usercommands::ListTrustReason(local) + "; ";
  skipped += perUser.empty()    ? "there is no per-user command list (no home folder)."
             : Present(perUser) ? "read " + perUser + " instead."
                                : "no user commands, since " + perUser + " is missing too.";
  return {perUser, skipped};
}
