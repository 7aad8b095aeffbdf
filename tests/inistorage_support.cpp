// Helpers shared by the INI storage tests; each test file declares the ones it uses.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "IniFile.h"
#include "IniStorage.h"
#include "TempFiles.h"

std::filesystem::path TempPath(const std::string& name) {
  static const TempDir root("inistorage-test-");
  static int counter = 0;
  return root / (std::to_string(++counter) + "-" + name);
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
  WriteFile(path, bytes);
  IniFile().Read(path.string(), &storage, mergeMode);
}

std::string ReadDump(std::string_view bytes) {
  IniStorage storage;
  ReadInto(storage, bytes, IniFile::ReplaceKeys);
  return Dump(storage);
}
