#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Splits the byte stream of the control connection into lines.
//
// One reader lives as long as the connection: whatever arrived after the last
// line handed back stays buffered for the next read.
//
// A line ends at LF. A CR ends it too, and the one byte after the CR is taken
// with it: an LF is dropped, any other byte stays as the line's last
// character ("ab\rX" gives "abX"). Lines carry every other byte as it came,
// NUL and 0x80-0xFF included. A line longer than the limit ends the stream
// as Failed, its bytes dropped, so a server can't make the reader hold
// memory without end.
class LineReader {
 public:
  static constexpr std::size_t kMaxLine = 64u << 20;

  // receive(buf, size, wait) fills at most size bytes and returns their
  // count, or one of the Transport results: 0 the peer closed, -1 an error,
  // -2 the wait was abandoned, -3 nothing there yet (only when !wait).
  using Receive = std::function<long(char*, std::size_t, bool)>;
  explicit LineReader(Receive receive, std::size_t maxLine = kMaxLine);

  enum class Status {
    Line,        // line holds the next line
    Partial,     // the stream ended (close or error) in the middle of a line: line holds
                 // its bytes; Closed or Failed follows
    NothingYet,  // only without waiting: no complete line is there now; what came is kept
    Closed,      // the peer closed and every byte has been handed back
    Failed,      // receive error
    Aborted      // the wait for more bytes was abandoned; buffered bytes are kept
  };

  // On Line and Partial, line holds the line (without its end); otherwise it
  // is empty. A line already buffered is handed back without receiving.
  // Without wait, receives only what is there already. Closed and Failed
  // stay for good.
  Status ReadLine(std::string& line, bool wait = true);
  // The same, with the line as a view into the reader's buffer: no copy,
  // valid until the next call.
  Status Next(std::string_view& line, bool wait = true);

  // Bytes received but not yet handed back as (part of) a line.
  std::size_t Buffered() const { return m_end - m_begin; }
  // The stream failed because a line passed the limit.
  bool LineTooLong() const { return m_tooLong; }

 private:
  long Fill(bool wait);

  Receive m_receive;
  std::size_t m_maxLine;
  bool m_tooLong = false;
  std::vector<char> m_buf;
  std::string m_scratch;          // a line that a CR and the byte after it ended
  std::size_t m_begin = 0;        // first byte not yet handed back
  std::size_t m_end = 0;          // end of the received bytes
  std::size_t m_scan = 0;         // bytes in [m_begin, m_scan) hold no line end
  Status m_final = Status::Line;  // Closed or Failed once the stream ended
};
