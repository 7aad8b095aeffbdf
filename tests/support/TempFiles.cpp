#include "TempFiles.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir(const std::string& prefix) {
  std::string pattern = (fs::temp_directory_path() / (prefix + "XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("no temporary folder for " + prefix);
  m_path = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(m_path, ignored);
}

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
  if (const char* old = std::getenv(name)) m_old = old;
  if (value) ::setenv(name, value->c_str(), 1);
  else ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (m_old) ::setenv(m_name.c_str(), m_old->c_str(), 1);
  else ::unsetenv(m_name.c_str());
}

ScopedCwd::ScopedCwd(const fs::path& folder) : m_old(fs::current_path()) { fs::current_path(folder); }

ScopedCwd::~ScopedCwd() {
  std::error_code ignored;
  fs::current_path(m_old, ignored);
}

unsigned Mode(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
