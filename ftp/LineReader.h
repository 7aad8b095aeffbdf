#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Splits the byte stream of the control connection into lines.
//
// One reader lives as long as the connection: whatever arrived after the last
// line handed back stays buffered and starts the next exchange, so reply
// lines the previous command did not consume show up at the next one.
//
// A line ends at LF. A CR ends it too, and the one byte after the CR is taken
// with it: an LF is dropped, any other byte stays as the line's last
// character ("ab\rX" gives "abX"). Lines have no length limit and carry every
// other byte as it came, NUL and 0x80-0xFF included.
class LineReader {
 public:
  // receive(buf, size) fills at most size bytes and returns their count,
  // 0 when the peer closed, -1 on an error, -2 when the wait was abandoned.
  explicit LineReader(std::function<long(char*, std::size_t)> receive);

  enum class Status {
    Line,    // line holds the next line
    Closed,  // the peer closed and every byte has been handed back
    Failed,  // receive error
    Aborted  // the wait for more bytes was abandoned; buffered bytes are kept
  };

  // On Status::Line, line holds the line (without its end); otherwise it is
  // empty. Bytes that arrived before a close without a line end come back
  // as one last Line; Closed follows. Closed and Failed stay for good.
  Status ReadLine(std::string& line);

  // Bytes received but not yet handed back as (part of) a line.
  std::size_t Buffered() const { return m_end - m_begin; }

 private:
  Status Fill();

  std::function<long(char*, std::size_t)> m_receive;
  std::vector<char> m_buf;
  std::size_t m_begin = 0;        // first byte not yet handed back
  std::size_t m_end = 0;          // end of the received bytes
  std::size_t m_scan = 0;         // bytes in [m_begin, m_scan) hold no line end
  Status m_final = Status::Line;  // Closed or Failed once the stream ended
};
