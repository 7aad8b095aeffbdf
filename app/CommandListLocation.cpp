#include "CommandListLocation.h"

#include <filesystem>
#include <system_error>

#include "res/Strings.h"

namespace fs = std::filesystem;

namespace {
bool Present(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() != fs::file_type::not_found && !error;
}
}  // namespace

std::string CommandListPath(const char* xdgConfigHome, const char* home) {
  if (Present(kCommandListFile)) return kCommandListFile;
  fs::path config;
  if (xdgConfigHome && *xdgConfigHome && fs::path(xdgConfigHome).is_absolute())
    config = xdgConfigHome;
  else if (home && *home)
    config = fs::path(home) / ".config";
  if (!config.empty()) {
    const fs::path perUser = config / "korvastel" / kCommandListFile;
    if (Present(perUser)) return perUser.string();
  }
  return kCommandListFile;
}
