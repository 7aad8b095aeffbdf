#pragma once

// In-memory contents of an INI-style file: ordered blocks of ordered keys,
// each key an ordered list of values. Strings are Windows-1252 byte strings.
//
// Invariants kept by every operation: no empty name, no empty value, and no
// two blocks of a storage (or keys of a block) whose names are equal when
// letter case is ignored. Lookups by name ignore case and stay cheap in big
// files (IniNamedList.h).

#include <string>
#include <utility>
#include <vector>

#include "IniNamedList.h"

struct IniKey {
  std::string name;
  std::vector<std::string> values;

  friend bool operator==(const IniKey&, const IniKey&) = default;
};

// A block of a storage. The storage keeps its blocks to itself and answers
// questions about them; this type is public only because it is a member.
struct IniBlock {
  std::string name;
  IniNamedList<IniKey> keys;

  friend bool operator==(const IniBlock&, const IniBlock&) = default;
};

class IniStorage {
 public:
  IniStorage() = default;
  // Copies are exact: every block, key and value, empty blocks and keys included.
  IniStorage(const IniStorage& other) = default;
  IniStorage(IniStorage&& other) noexcept : blocks(std::exchange(other.blocks, {})) {}
  IniStorage& operator=(const IniStorage& other) = default;
  IniStorage& operator=(IniStorage&& other) noexcept {
    blocks = std::exchange(other.blocks, {});
    return *this;
  }
  virtual ~IniStorage() = default;

  // Same blocks, keys and values, in the same order and spelling.
  friend bool operator==(const IniStorage& a, const IniStorage& b) { return a.blocks == b.blocks; }

  // Building. Empty names and values, and indexes out of range, are ignored.
  bool AddBlock(std::string blockName);
  void AddKey(const std::string& blockName, const std::string& keyName);
  void AddKey(int blockIndex, std::string keyName);
  void RemoveKey(const std::string& blockName, const std::string& keyName);
  void RemoveBlock(const std::string& blockName);
  void AddValue(const std::string& blockName, const std::string& keyName, std::string value);
  void AddValue(const std::string& blockName, const std::string& keyName, int value);
  void AddValue(const std::string& blockName, const std::string& keyName, float value);
  void SetValue(const std::string& blockName, const std::string& keyName, std::string value);
  void SetValue(const std::string& blockName, const std::string& keyName, int value);
  void SetValue(const std::string& blockName, const std::string& keyName, float value);

  // Questions; they never throw and answer -1, 0, false or an empty list.
  bool BlockExists(const std::string& blockName) const;
  bool KeyExists(const std::string& blockName, const std::string& keyName) const;
  bool KeyExists(int blockIndex, const std::string& keyName) const;
  bool KeyExistsInAnyBlock(const std::string& keyName) const;
  int GetBlockCount() const;
  std::vector<std::string> GetBlockNames() const;
  int GetBlockIndex(const std::string& blockName) const;
  int GetKeyCount(const std::string& blockName) const;
  std::vector<std::string> GetKeyNames(const std::string& blockName) const;
  int GetKeyIndex(int blockIndex, const std::string& keyName) const;
  int GetKeyIndex(const std::string& blockName, const std::string& keyName) const;
  int GetValueCount(const std::string& blockName, const std::string& keyName) const;

  // Strict getters: std::invalid_argument at the first failing test.
  std::string GetValue(const std::string& blockName, const std::string& keyName) const;
  std::string GetValue(int blockIndex, const std::string& keyName) const;
  std::vector<std::string> GetValues(const std::string& blockName, const std::string& keyName) const;
  std::vector<std::string> GetValues(int blockIndex, const std::string& keyName) const;
  std::vector<int> GetInts(const std::string& blockName, const std::string& keyName) const;
  std::vector<float> GetFloats(const std::string& blockName, const std::string& keyName) const;
  int GetInt(const std::string& blockName, const std::string& keyName) const;
  float GetFloat(const std::string& blockName, const std::string& keyName) const;

  // Getters with a default; they never throw.
  std::string GetValue(const std::string& blockName, const std::string& keyName, const std::string& defaultValue) const;
  std::string GetValue(int blockIndex, const std::string& keyName, const std::string& defaultValue) const;

 private:
  bool InRange(int blockIndex) const { return blockIndex >= 0 && static_cast<std::size_t>(blockIndex) < blocks.Size(); }
  const IniBlock& BlockAt(int blockIndex) const { return blocks.At(static_cast<std::size_t>(blockIndex)); }
  // The key of that block, both appended when missing; names not empty.
  IniKey& KeyFor(const std::string& blockName, const std::string& keyName);
  // The key at a block position after the strict getters' key tests.
  const IniKey& CheckedKey(int blockIndex, const std::string& keyName) const;
  template <typename Number, typename Convert>
  std::vector<Number> ConvertedValues(const std::string& blockName, const std::string& keyName, Convert convert) const;

  IniNamedList<IniBlock> blocks;
};
