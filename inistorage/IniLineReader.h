#pragma once

// Splits a byte stream into the lines that IniFile parses.
//
// A line ends at LF; a CR right before the LF is not part of it, a lone CR is
// an ordinary byte. A line is cut at its first NUL byte. Lines have no length
// limit. The text after the last LF is one more line, so a file that ends
// with a line end yields a final empty line and an empty file one empty line.
// A read error ends the stream as end of file would: what was read is kept.
// A UTF-8 byte-order mark at the very start is no part of the first line:
// editors write one, and the first header would otherwise not be one.
// Memory use is one chunk plus the longest line.

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

class IniLineReader {
 public:
  static constexpr std::size_t defaultChunkSize = 64 * 1024;

  // The file stays owned by the caller.
  explicit IniLineReader(std::FILE* file, std::size_t chunkSize = defaultChunkSize);

  // Reads the first chunk; false when the stream fails before giving a byte
  // (a directory, a file gone bad), which callers treat as not openable.
  bool Start();

  // The next line into `line`; false once every line has been given.
  bool Next(std::string& line);

 private:
  void Refill();
  void DropByteOrderMark(std::string& line);

  std::FILE* file;
  std::vector<char> buffer;
  std::size_t position = 0;
  std::size_t end = 0;
  bool atEnd = false;
  bool finished = false;
  bool started = false;
  bool first = true;
};
