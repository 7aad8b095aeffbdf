// Throwaway folders and files, so no test touches the user's own: one folder
// per use under the system's temporary folder, removed with all it holds.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "korvastel-test-");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return m_path; }
  std::filesystem::path operator/(const std::filesystem::path& name) const { return m_path / name; }

 private:
  std::filesystem::path m_path;
};

// An environment variable set (or, with nullopt, unset) until the scope ends; then as it was.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name;
  std::optional<std::string> m_old;
};

// The working folder until the scope ends.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::filesystem::path& folder);
  ~ScopedCwd();
  ScopedCwd(const ScopedCwd&) = delete;
  ScopedCwd& operator=(const ScopedCwd&) = delete;

 private:
  std::filesystem::path m_old;
};

// A file's permission bits (07777); 0 when it is not there.
unsigned Mode(const std::filesystem::path& path);
// A file's bytes; empty when it can't be read.
std::string ReadFile(const std::filesystem::path& path);
// Writes the bytes, making the folders above the file first.
void WriteFile(const std::filesystem::path& path, std::string_view bytes);
