#include "LineFile.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

LineFile::LineFile(int fd, std::size_t maxLine, std::function<bool()> stop, std::chrono::milliseconds limit)
    : m_fd(fd), m_maxLine(maxLine), m_stop(std::move(stop)), m_limit(limit) {}

LineFile::Status LineFile::Next(std::string& line) {
  auto waitFrom = std::chrono::steady_clock::now();
  for (;;) {
    const std::size_t end = m_buffer.find('\n', m_start);
    if (end != std::string::npos || (m_eof && m_start < m_buffer.size())) {
      const std::size_t stop = end == std::string::npos ? m_buffer.size() : end;
      if (stop - m_start > m_maxLine) return Status::TooLong;
      line.assign(m_buffer, m_start, stop - m_start);
      m_start = end == std::string::npos ? m_buffer.size() : end + 1;
      return Status::Line;
    }
    if (m_eof) return Status::End;
    if (m_buffer.size() - m_start > m_maxLine) return Status::TooLong;
    if (m_start > 0) {  // keep only the unread part
      m_buffer.erase(0, m_start);
      m_start = 0;
    }
    if (m_stop && m_stop()) return Status::Stopped;
    pollfd p{m_fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, 100);
    if (ready < 0 && errno != EINTR) {
      m_error = std::strerror(errno);
      return Status::Failed;
    }
    if (ready <= 0) {
      if (m_limit.count() > 0 && std::chrono::steady_clock::now() - waitFrom >= m_limit) return Status::TimedOut;
      continue;
    }
    char chunk[65536];
    const ssize_t got = ::read(m_fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      m_error = std::strerror(errno);
      return Status::Failed;
    }
    if (got == 0)
      m_eof = true;
    else
      m_buffer.append(chunk, static_cast<std::size_t>(got));
    waitFrom = std::chrono::steady_clock::now();
  }
}
