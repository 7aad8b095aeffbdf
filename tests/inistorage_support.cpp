// Helpers shared by the INI storage tests; each test file declares the ones it uses.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "IniFile.h"
#include "IniStorage.h"

namespace {

// One fresh folder per test process, removed with everything in it at exit.
struct TempRoot {
  std::filesystem::path path;

  TempRoot() {
    path = std::filesystem::temp_directory_path() / (std::string("inistorage-test-") + std::to_string(::getpid()) +
                                                     "-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(path);
  }
  ~TempRoot() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace

std::filesystem::path TempPath(const std::string& name) {
  static TempRoot root;
  static int counter = 0;
  return root.path / (std::to_string(++counter) + "-" + name);
}

void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "[block]" lines, each followed by "key=v1|v2|..." lines.
std::string Dump(const IniStorage& storage) {
  std::string out;
  for (const std::string& block : storage.GetBlockNames()) {
    out += "[" + block + "]\n";
    for (const std::string& key : storage.GetKeyNames(block)) {
      out += key + "=";
      if (storage.GetValueCount(block, key) > 0) {
        const std::vector<std::string> values = storage.GetValues(block, key);
        for (std::size_t i = 0; i < values.size(); ++i) out += (i > 0 ? "|" : "") + values[i];
      }
      out += "\n";
    }
  }
  return out;
}

void ReadInto(IniStorage& storage, std::string_view bytes, int mergeMode) {
  const std::filesystem::path path = TempPath("input.ini");
  WriteBytes(path, bytes);
  IniFile().Read(path.string(), &storage, mergeMode);
}

std::string ReadDump(std::string_view bytes) {
  IniStorage storage;
  ReadInto(storage, bytes, IniFile::ReplaceKeys);
  return Dump(storage);
}
