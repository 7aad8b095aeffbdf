#include "IniFile.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "IniLineReader.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool IsTrimmable(char c) { return static_cast<unsigned char>(c) <= 0x20; }

std::string_view Trimmed(std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && IsTrimmable(text[first])) ++first;
  std::size_t last = text.size();
  while (last > first && IsTrimmable(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// Classification of a trimmed line.
bool IsComment(std::string_view line) {
  return !line.empty() && (line[0] == ';' || line[0] == '#' || line.starts_with("//"));
}

bool IsHeader(std::string_view line) { return line.size() >= 3 && line.front() == '[' && line.back() == ']'; }

// A leading "=" belongs to the key, so the separator is searched from the second byte.
bool IsKeyLine(std::string_view line) { return line.find('=', 1) != std::string_view::npos; }

}  // namespace

void IniFile::Trim(std::string& text) {
  const std::string_view kept = Trimmed(text);
  const auto first = static_cast<std::size_t>(kept.data() - text.data());
  text.erase(first + kept.size());
  text.erase(0, first);
}

void IniFile::Read(const std::string& fileName, IniStorage* storage, int mergeMode) {
  if (storage == nullptr) throw std::runtime_error("[Runtime Error] NULL Pointer to IniStorage");
  this->mergeMode = mergeMode;
  hasPutBack = false;

  // Only a regular file (or a link to one) is read. Opening a FIFO waits for a
  // writer that may never come, and a device such as /dev/zero never ends.
  // The first read is still made before anything is parsed, so a file that
  // fails there leaves the storage untouched as well.
  std::error_code error;
  const bool regular = std::filesystem::is_regular_file(std::filesystem::path(fileName), error);
  const FilePtr file(regular ? std::fopen(fileName.c_str(), "rb") : nullptr);
  std::unique_ptr<IniLineReader> reader;
  if (file) {
    reader = std::make_unique<IniLineReader>(file.get());
    if (!reader->Start()) reader.reset();
  }
  if (!reader) throw std::runtime_error("[Runtime Error] Could not open file: " + std::string(fileName.c_str()));

  // The lines are parsed as they are read, so memory stays at one chunk and
  // one line however big the file is; the outcome is the same as reading all
  // lines first, since the parser only ever takes the next line.
  struct Detach {
    IniFile& file;
    ~Detach() {
      file.target = nullptr;
      file.source = nullptr;
    }
  } detach{*this};
  target = storage;
  source = reader.get();
  Parse();
}

bool IniFile::NextLine(std::string& line) {
  if (hasPutBack) {
    hasPutBack = false;
    line.swap(putBack);
    return true;
  }
  return source != nullptr && source->Next(line);
}

void IniFile::Parse() {
  if (target == nullptr) return;
  state = ExpectBlock;
  currentBlock.clear();
  currentKey.clear();
  std::string line;
  while (NextLine(line)) {
    const std::string_view text = Trimmed(line);
    if (IsComment(text)) continue;
    switch (state) {
      case ExpectBlock:
        if (IsHeader(text)) AcceptHeader(text);
        break;
      case ExpectKey:
        if (IsHeader(text))
          AcceptHeader(text);
        else if (IsKeyLine(text))
          TakeKeyLine(text);
        break;
      case ExpectValues:
        // A continued list takes the whole line, even one that looks like a header.
        if (text.empty()) {
          target->AddKey(currentBlock, currentKey);
          state = AfterEmptyValue;
        } else {
          TakeValueLine(text);
        }
        break;
      case AfterEmptyValue:
        if (IsHeader(text))
          AcceptHeader(text);
        else if (IsKeyLine(text))
          TakeKeyLine(text);
        else if (text.empty())
          target->AddKey(currentBlock, currentKey);
        else
          TakeValueLine(text);
        break;
      default:
        break;
    }
  }
  state = Done;
}

void IniFile::AcceptHeader(std::string_view line) {
  if (!ValidMode()) return;
  std::string name(Trimmed(line.substr(1, line.size() - 2)));
  if (ExistingOnly() && !target->BlockExists(name)) return;
  // A refused header (empty name) is ignored like any unrecognised line.
  if (target->AddBlock(name)) {
    currentBlock = std::move(name);
    state = ExpectKey;
  }
}

void IniFile::TakeKeyLine(std::string_view line) {
  const std::size_t separator = line.find('=', 1);
  currentKey = Trimmed(line.substr(0, separator));
  if (!ValidMode() || (ExistingOnly() && !target->KeyExists(currentBlock, currentKey))) return;
  if (Replacing()) {
    target->RemoveKey(currentBlock, currentKey);
    target->AddKey(currentBlock, currentKey);
  }
  // The value text goes back in front of the lines and is parsed as the next
  // line, comment test included.
  putBack.assign(Trimmed(line.substr(separator + 1)));
  hasPutBack = true;
  state = ExpectValues;
}

void IniFile::TakeValueLine(std::string_view line) {
  if (!ValidMode() || (ExistingOnly() && !target->KeyExists(currentBlock, currentKey))) return;
  ParseValueList(line);
}

void IniFile::ParseValueList(std::string_view text) {
  // The rest after a comma is not trimmed again: a quote right after the
  // comma opens a quoted value, one after a blank is an ordinary byte.
  text = Trimmed(text);
  while (!text.empty()) {
    std::string_view value;
    std::size_t comma = std::string_view::npos;
    if (text[0] == '"') {
      std::size_t close = 1;
      while ((close = text.find('"', close)) != std::string_view::npos && text[close - 1] == '\\') ++close;
      if (close == std::string_view::npos) {
        // An unterminated quoted value is dropped with the rest of the line.
        state = ExpectKey;
        return;
      }
      value = text.substr(1, close - 1);
      comma = text.find(',', close + 1);
    } else {
      comma = text.find(',');
      value = text.substr(0, comma);
    }
    target->AddValue(currentBlock, currentKey, std::string(Trimmed(value)));
    if (comma == std::string_view::npos) {
      state = ExpectKey;
      return;
    }
    state = ExpectValues;
    text.remove_prefix(comma + 1);
  }
}

void IniFile::Write(const std::string& fileName, const IniStorage* storage) const {
  if (storage == nullptr) return;
  const FilePtr file(std::fopen(fileName.c_str(), "w"));
  if (!file) return;
  std::string out;
  const auto flush = [&] {
    std::fwrite(out.data(), 1, out.size(), file.get());
    out.clear();
  };
  // Names come from the storage itself, so the queries can't fail but for
  // a key without values, which is written as "name=" alone and read back
  // as a key without values.
  for (const std::string& blockName : storage->GetBlockNames()) {
    out += '[';
    out += blockName;
    out += "]\n";
    for (const std::string& keyName : storage->GetKeyNames(blockName)) {
      out += keyName;
      out += '=';
      if (storage->GetValueCount(blockName, keyName) > 0) {
        const std::vector<std::string> values = storage->GetValues(blockName, keyName);
        for (std::size_t i = 0; i < values.size(); ++i) {
          if (i > 0) out += ", ";
          out += values[i];
        }
      }
      out += '\n';
    }
    out += '\n';
    if (out.size() >= 64 * 1024) flush();
  }
  flush();
}
