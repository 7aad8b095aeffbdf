#pragma once

// Reads INI-style files into an IniStorage, merging with what it holds, and
// writes a storage back in the same format.
//
// Reading is a state machine over the file's lines: comment lines (";", "#",
// "//" first, whole lines only), block headers "[name]", key lines
// "key = values", and value lists split at commas with optional double
// quotes; a list that ends with a comma continues on the next line.

#include <string>
#include <string_view>

#include "IniStorage.h"

class IniLineReader;

class IniFile {
 public:
  enum MergeMode {
    ReplaceKeys = 0,          // a key line replaces the key's values and moves it last
    AppendValues = 1,         // a key line adds to the key's values
    ReplaceExistingKeys = 2,  // as ReplaceKeys, but only for blocks and keys already there
    AppendExistingKeys = 3,   // as AppendValues, but only for blocks and keys already there
  };

  enum State {
    ExpectBlock = 0,      // before the first accepted header
    ExpectKey = 1,        // in a block, waiting for a key line
    ExpectValues = 2,     // the next line is (more of) the current key's value list
    AfterEmptyValue = 3,  // the key's value text was empty; a plain line still gives it values
    Done = 4,
    Idle = 5,  // never parsed
  };

  IniFile() = default;
  virtual ~IniFile() = default;

  // Merges the file into *storage. Throws std::runtime_error for a null
  // storage or a file that can't be opened; the storage is then untouched.
  void Read(const std::string& fileName, IniStorage* storage, int mergeMode);

  // Writes every block, key and value. A file that can't be opened is
  // skipped silently, as is a null storage.
  void Write(const std::string& fileName, const IniStorage* storage) const;

  // Removes bytes 0x00-0x20 from both ends. Bytes from 0x80 up are letters
  // of the code page and stay.
  static void Trim(std::string& text);

  int GetState() const { return state; }
  int GetMergeMode() const { return mergeMode; }

 private:
  void Parse();
  bool NextLine(std::string& line);
  void AcceptHeader(std::string_view line);
  void TakeKeyLine(std::string_view line);
  void TakeValueLine(std::string_view line);
  void ParseValueList(std::string_view text);
  bool Replacing() const { return mergeMode == ReplaceKeys || mergeMode == ReplaceExistingKeys; }
  bool ExistingOnly() const { return mergeMode == ReplaceExistingKeys || mergeMode == AppendExistingKeys; }
  bool ValidMode() const { return mergeMode >= ReplaceKeys && mergeMode <= AppendExistingKeys; }

  int state = Idle;
  int mergeMode = ReplaceKeys;
  // A key line puts its value text back in front of the file's remaining
  // lines, to be parsed as the next line; only one text ever waits.
  std::string putBack;
  bool hasPutBack = false;
  IniStorage* target = nullptr;
  IniLineReader* source = nullptr;  // the rest of the file, while Read runs
  std::string currentBlock;
  std::string currentKey;
};
