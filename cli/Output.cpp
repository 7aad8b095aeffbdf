#include "Output.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "Json.h"
#include "KindColours.h"

namespace {
constexpr const char* kPlain = "\x1b[0m";

// The window's palette as a 24-bit terminal colour. The program's own words
// (white on the pane's grey) keep the terminal's colour.
std::string TerminalColour(TranscriptKind kind) {
  if (kind == TranscriptKind::Text) return {};
  const palette::Colour c = palette::Of(kind);
  return "\x1b[38;2;" + std::to_string(c.r) + ";" + std::to_string(c.g) + ";" + std::to_string(c.b) + "m";
}
}  // namespace

// A reader that stops reading must not hold a stop hostage: where one sets
// the pace, each write waits in poll() for room or for Cancel(), and writes
// at most PIPE_BUF bytes, which a pipe that polls writable takes without
// blocking. A terminal may still block inside a write (its room is not
// exact); the signal thread's last-resort exit covers that.
Output::Output(int fd) : m_fd(fd), m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  struct stat st {};
  m_mayBlock = ::fstat(fd, &st) != 0 || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || ::isatty(fd);
}

Output::~Output() {
  if (m_wakeFd >= 0) ::close(m_wakeFd);
}

bool Output::Fail(int error) {
  if (error == EPIPE) {
    m_state = State::ReaderGone;
  } else {
    m_state = State::Failed;
    m_error = std::strerror(error);
  }
  return false;
}

bool Output::Write(std::string_view bytes) {
  while (m_state == State::Open && !bytes.empty()) {
    std::size_t size = bytes.size();
    if (m_mayBlock) {
      pollfd waits[2] = {{m_fd, POLLOUT, 0}, {m_wakeFd, POLLIN, 0}};
      if (::poll(waits, m_wakeFd >= 0 ? 2 : 1, -1) < 0) {
        if (errno == EINTR) continue;
        return Fail(errno);
      }
      if (waits[0].revents == 0 && (waits[1].revents & POLLIN)) {  // what is ready still goes
        m_state = State::Cancelled;
        break;
      }
      size = std::min<std::size_t>(size, PIPE_BUF);
    }
    const ssize_t wrote = ::write(m_fd, bytes.data(), size);
    if (wrote < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return Fail(errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(wrote));
  }
  return m_state == State::Open;
}

bool Output::Close() {
  const int fd = m_fd;
  m_fd = -1;
  if (fd >= 0 && ::close(fd) != 0 && errno != EINTR && m_state == State::Open) Fail(errno);
  return m_state == State::Open;
}

void Output::Cancel() {
  const std::uint64_t one = 1;
  if (m_wakeFd >= 0) (void)!::write(m_wakeFd, &one, sizeof one);
}

void PaneText::Append(TranscriptKind kind, std::string_view text) {
  if (kind != TranscriptKind::Reply && kind != m_colourKind) {  // a reply: in the colour of its exchange
    m_colour = TerminalColour(kind);
    m_colourKind = kind;
  }
  // The pane's first lines are blank (they part attempts there); a file or a terminal starts with text.
  if (!m_started) {
    const std::size_t first = text.find_first_not_of('\n');
    if (first == std::string_view::npos) return;
    text.remove_prefix(first);
    m_started = true;
  }
  const auto append = m_escape ? &AppendTerminalText : &AppendUtf8Text;
  if (m_prefix.empty() && !m_color) {
    append(m_pending, text);
    return;
  }
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end == std::string_view::npos ? text.size() : end);
    if (m_lineStart) m_pending.append(m_prefix);
    if (m_color && !line.empty()) m_pending.append(m_colour);
    append(m_pending, line);
    if (m_color && !line.empty()) m_pending.append(kPlain);
    m_lineStart = end != std::string_view::npos;
    if (!m_lineStart) break;
    m_pending.push_back('\n');
    text.remove_prefix(end + 1);
  }
}
