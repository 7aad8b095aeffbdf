#include "IniLineReader.h"

#include <cstring>

IniLineReader::IniLineReader(std::FILE* file, std::size_t chunkSize)
    : file(file), buffer(chunkSize == 0 ? 1 : chunkSize) {}

void IniLineReader::Refill() {
  position = 0;
  end = std::fread(buffer.data(), 1, buffer.size(), file);
  // A short read is end of file or an error; either way nothing more is asked
  // of the stream, so a failing device cannot keep the reader going.
  if (end < buffer.size()) atEnd = true;
}

bool IniLineReader::Start() {
  started = true;
  Refill();
  return !(end == 0 && std::ferror(file));
}

void IniLineReader::DropByteOrderMark(std::string& line) {
  if (first && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
  first = false;
}

bool IniLineReader::Next(std::string& line) {
  if (!started) Start();
  if (finished) return false;
  line.clear();
  bool cut = false;  // a NUL was met: the rest of this line is dropped
  for (;;) {
    if (position == end) {
      if (atEnd) {
        finished = true;
        DropByteOrderMark(line);
        return true;
      }
      Refill();
      continue;
    }
    const char* const chunk = buffer.data() + position;
    const std::size_t available = end - position;
    const void* newline = std::memchr(chunk, '\n', available);
    const std::size_t length =
        newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - chunk) : available;
    if (!cut) {
      const void* nul = std::memchr(chunk, '\0', length);
      const std::size_t kept = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - chunk) : length;
      line.append(chunk, kept);
      cut = nul != nullptr;
    }
    if (newline) {
      position += length + 1;
      if (!cut && !line.empty() && line.back() == '\r') line.pop_back();
      DropByteOrderMark(line);
      return true;
    }
    position = end;
  }
}
