// Lines from a file descriptor (a file, a pipe, standard input), read in
// slices so that an interrupt or a timeout ends a wait for a writer that
// never comes, and with a bound on the line length so /dev/zero ends too.
#pragma once

#include <chrono>
#include <functional>
#include <string>

class LineFile {
 public:
  enum class Status { Line, End, TooLong, Failed, Stopped, TimedOut };

  // Does not own fd. stop is asked between waits; limit zero waits forever.
  LineFile(int fd, std::size_t maxLine, std::function<bool()> stop, std::chrono::milliseconds limit);
  // The next line without its LF; a last line without LF counts.
  Status Next(std::string& line);
  // Why the last Failed happened.
  const std::string& Error() const { return m_error; }

 private:
  int m_fd;
  std::size_t m_maxLine;
  std::function<bool()> m_stop;
  std::chrono::milliseconds m_limit;
  std::string m_buffer;
  std::size_t m_start = 0;
  bool m_eof = false;
  std::string m_error;
};
