// libFuzzer target for the INI reader and writer.
//
// Every input is read as a file in all four merge modes, one after the other
// into the same storage, and the storage's own answers are checked against
// its contents after each read. The lines are also read with a tiny chunk
// size and compared with the normal reading. The storage is then written,
// read back, and compared with the original when its names and values hold
// none of the bytes the reader treats specially. Inputs whose first byte is
// 0xA5 instead drive the building operations directly, checked against a
// naive model that scans its vectors as the storage's index must not change.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "IniFile.h"
#include "IniLineReader.h"
#include "IniName.h"
#include "IniStorage.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

// An in-memory file reachable by name, reused for every input.
struct MemFile {
  int fd = -1;
  std::string path;

  explicit MemFile(const char* name) {
    fd = memfd_create(name, 0);
    Check(fd >= 0, "memfd_create");
    path = std::string("/proc/self/fd/") + std::to_string(fd);
  }

  void Fill(const uint8_t* data, size_t size) const {
    Check(ftruncate(fd, 0) == 0, "ftruncate");
    size_t done = 0;
    while (done < size) {
      const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
      Check(n > 0, "pwrite");
      done += static_cast<size_t>(n);
    }
  }
};

struct ModelKey {
  std::string name;
  std::vector<std::string> values;
  friend bool operator==(const ModelKey&, const ModelKey&) = default;
};
struct ModelBlock {
  std::string name;
  std::vector<ModelKey> keys;
  friend bool operator==(const ModelBlock&, const ModelBlock&) = default;
};

// The storage's contents, as its queries give them.
std::vector<ModelBlock> Snapshot(const IniStorage& storage) {
  std::vector<ModelBlock> blocks;
  for (const std::string& block : storage.GetBlockNames()) {
    blocks.push_back({block, {}});
    for (const std::string& key : storage.GetKeyNames(block))
      blocks.back().keys.push_back(
          {key, storage.GetValueCount(block, key) > 0 ? storage.GetValues(block, key) : std::vector<std::string>{}});
  }
  return blocks;
}

// The answers by name and by position agree with the contents.
void CheckConsistent(const IniStorage& storage) {
  const std::vector<ModelBlock> blocks = Snapshot(storage);
  Check(storage.GetBlockCount() == static_cast<int>(blocks.size()), "block count");
  for (size_t b = 0; b < blocks.size(); ++b) {
    const ModelBlock& block = blocks[b];
    const int bi = static_cast<int>(b);
    Check(!block.name.empty(), "empty block name");
    Check(storage.GetBlockIndex(block.name) == bi, "block index");
    Check(storage.GetKeyCount(block.name) == static_cast<int>(block.keys.size()), "key count");
    for (size_t k = 0; k < block.keys.size(); ++k) {
      const ModelKey& key = block.keys[k];
      Check(!key.name.empty(), "empty key name");
      Check(storage.GetKeyIndex(bi, key.name) == static_cast<int>(k), "key index by position");
      Check(storage.GetKeyIndex(block.name, key.name) == static_cast<int>(k), "key index by name");
      Check(storage.GetValue(bi, key.name, "") == (key.values.empty() ? "" : key.values.front()), "value by position");
      for (const std::string& value : key.values) Check(!value.empty(), "empty value");
    }
  }
}

std::vector<std::string> ReadLines(const std::string& path, size_t chunkSize) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  Check(file != nullptr, "fopen");
  IniLineReader reader(file, chunkSize);
  std::vector<std::string> lines;
  std::string line;
  while (reader.Next(line)) lines.push_back(line);
  std::fclose(file);
  return lines;
}

bool EndsTrimmable(std::string_view text) {
  return text.empty() || static_cast<unsigned char>(text.front()) <= 0x20 ||
         static_cast<unsigned char>(text.back()) <= 0x20;
}

bool StartsComment(std::string_view text) {
  return text.starts_with(';') || text.starts_with('#') || text.starts_with("//");
}

bool HasLineBreakers(std::string_view text) {
  return text.find('\n') != std::string_view::npos || text.find('\0') != std::string_view::npos;
}

// True when writing and reading back must give the storage unchanged.
bool RoundTrips(const IniStorage& storage) {
  for (const ModelBlock& block : Snapshot(storage)) {
    if (EndsTrimmable(block.name) || HasLineBreakers(block.name)) return false;
    for (const ModelKey& key : block.keys) {
      if (EndsTrimmable(key.name) || HasLineBreakers(key.name) || StartsComment(key.name) ||
          key.name.find('=') != std::string::npos)
        return false;
      for (const std::string& value : key.values)
        if (EndsTrimmable(value) || HasLineBreakers(value) || value.find(',') != std::string::npos) return false;
      if (!key.values.empty() && (key.values.front().starts_with('"') || StartsComment(key.values.front())))
        return false;
      // "[a=b]" would be a header.
      const std::string_view last = key.values.empty() ? std::string_view("=") : key.values.back();
      if (key.name.starts_with('[') && last.ends_with(']')) return false;
    }
  }
  return true;
}

// ---- building operations against a model ------------------------------------

template <typename T>
int Find(const std::vector<T>& items, const std::string& name) {
  for (size_t i = 0; i < items.size(); ++i)
    if (IniNamesEqual(items[i].name, name)) return static_cast<int>(i);
  return -1;
}

void RunOperations(const uint8_t* data, size_t size) {
  // Few names with case partners, so operations keep meeting each other, but
  // enough of them for the lookups to switch from scanning to hashing.
  static const char* const special[] = {"",   "a",  "A",    "b",    "B",    "\xC4", "\xE4",
                                        "ab", "aB", "\x8A", "\x9A", "\xD7", "\xF7", "c"};
  const size_t specialCount = sizeof special / sizeof special[0];
  const auto name = [&](uint8_t byte) -> std::string {
    const size_t n = byte % 64;
    if (n < specialCount) return special[n];
    return (n % 2 ? "N" : "n") + std::to_string(n / 2);
  };
  IniStorage storage;
  std::vector<ModelBlock> model;
  size_t i = 1;
  size_t count = 0;
  auto next = [&] { return i < size ? data[i++] : uint8_t{0}; };
  while (i < size) {
    const uint8_t op = next() % 7;
    const std::string block = name(next());
    const std::string key = name(next());
    const std::string value = name(next());
    const int b = Find(model, block);
    const int k = b < 0 ? -1 : Find(model[static_cast<size_t>(b)].keys, key);
    switch (op) {
      case 0:
        storage.AddBlock(block);
        if (!block.empty() && b < 0) model.push_back({block, {}});
        break;
      case 1:
        storage.AddKey(block, key);
        if (!block.empty() && !key.empty()) {
          if (b < 0)
            model.push_back({block, {{key, {}}}});
          else if (k < 0)
            model[static_cast<size_t>(b)].keys.push_back({key, {}});
        }
        break;
      case 2:
        storage.RemoveKey(block, key);
        if (!key.empty() && k >= 0)
          model[static_cast<size_t>(b)].keys.erase(model[static_cast<size_t>(b)].keys.begin() + k);
        break;
      case 3:
        storage.RemoveBlock(block);
        if (b >= 0) model.erase(model.begin() + b);
        break;
      case 4:
      case 5: {
        if (op == 4)
          storage.AddValue(block, key, value);
        else
          storage.SetValue(block, key, value);
        if (block.empty() || key.empty() || value.empty()) break;
        if (b < 0) model.push_back({block, {}});
        ModelBlock& mb = model[static_cast<size_t>(b < 0 ? static_cast<int>(model.size()) - 1 : b)];
        if (b < 0 || k < 0) mb.keys.push_back({key, {}});
        ModelKey& mk = mb.keys[static_cast<size_t>(b < 0 || k < 0 ? static_cast<int>(mb.keys.size()) - 1 : k)];
        if (op == 5) mk.values.clear();
        mk.values.push_back(value);
        break;
      }
      default: {
        const int index = static_cast<int>(next() % 5) - 1;
        storage.AddKey(index, key);
        if (!key.empty() && index >= 0 && static_cast<size_t>(index) < model.size() &&
            Find(model[static_cast<size_t>(index)].keys, key) < 0)
          model[static_cast<size_t>(index)].keys.push_back({key, {}});
        break;
      }
    }
    if (++count % 8 == 0) CheckConsistent(storage);
  }
  CheckConsistent(storage);
  Check(Snapshot(storage) == model, "storage and model differ");
  const IniStorage copy(storage);
  Check(copy == storage, "copy");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0 && data[0] == 0xA5) {
    RunOperations(data, size);
    return 0;
  }

  static const MemFile input("ini-fuzz-input");
  static const MemFile output("ini-fuzz-output");
  input.Fill(data, size);

  const std::vector<std::string> lines = ReadLines(input.path, IniLineReader::defaultChunkSize);
  Check(lines == ReadLines(input.path, 1 + (size > 0 ? data[0] % 7 : 0)), "chunked lines");

  IniFile reader;
  IniStorage storage;
  for (int mode = IniFile::ReplaceKeys; mode <= IniFile::AppendExistingKeys; ++mode) {
    reader.Read(input.path, &storage, mode);
    CheckConsistent(storage);
  }
  const IniStorage before(storage);
  reader.Read(input.path, &storage, 7);
  Check(storage == before, "unknown merge mode changed the storage");

  IniStorage fresh;
  reader.Read(input.path, &fresh, IniFile::ReplaceKeys);
  reader.Write(output.path, &fresh);
  IniStorage reread;
  reader.Read(output.path, &reread, IniFile::ReplaceKeys);
  CheckConsistent(reread);
  if (RoundTrips(fresh)) Check(reread == fresh, "write then read");
  return 0;
}
