#include "SessionLog.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "Utf8.h"

namespace {

// Far below NAME_MAX (255), with room for the hash a long name gains.
constexpr std::size_t kMaxName = 200;

void AppendHex(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out.push_back('%');
  out.push_back(kHex[byte >> 4]);
  out.push_back(kHex[byte & 15]);
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return {};
}

struct Stamp {
  std::string date;  // YYYY-MM-DD
  std::string text;  // the whole stamp
};

Stamp MakeStamp(std::chrono::system_clock::time_point at) {
  const std::string text = LogTime(at);
  return {text.substr(0, 10), text};
}

}  // namespace

std::string DefaultLogFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  const std::string base = state && state[0] == '/' ? std::string(state) : HomeFolder() + "/.local/state";
  return base + "/korvastel/logs";
}

std::string LogName(std::string_view site) {
  std::string out;
  for (std::size_t i = 0; i < site.size(); ++i) {
    const auto byte = static_cast<unsigned char>(site[i]);
    if (byte < 0x20 || byte == 0x7F || byte == '/' || byte == '\\' || byte == '%' || (i == 0 && byte == '.')) {
      AppendHex(out, byte);
    } else if (byte < 0x80) {
      out.push_back(static_cast<char>(byte));
    } else if (byte < 0xA0 && text::kCp1252HighControls[byte - 0x80] == 0) {
      AppendHex(out, byte);  // undefined in the code page: no letter to show
    } else {
      text::AppendCodePoint(out, byte < 0xA0 ? text::kCp1252HighControls[byte - 0x80] : byte);
    }
  }
  if (out.empty()) return "%";
  if (out.size() <= kMaxName) return out;
  // Cut on a character's start, never inside a %XX or a UTF-8 sequence.
  std::size_t cut = kMaxName - 20;
  while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
  if (cut >= 1 && out[cut - 1] == '%') cut -= 1;
  else if (cut >= 2 && out[cut - 2] == '%') cut -= 2;
  std::uint64_t hash = 1469598103934665603ull;  // FNV-1a over the whole name
  for (const char c : site) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  static constexpr char kHex[] = "0123456789abcdef";
  out.resize(cut);
  out.push_back('~');
  for (int shift = 60; shift >= 0; shift -= 4) out.push_back(kHex[(hash >> shift) & 15]);
  return out;
}

std::string MakeLogFolder(const std::string& folder) {
  for (std::size_t end = 1; end <= folder.size(); ++end) {
    if (end < folder.size() && folder[end] != '/') continue;
    if (folder[end - 1] == '/') continue;  // a doubled or trailing slash
    const std::string part = folder.substr(0, end);
    if (::mkdir(part.c_str(), 0700) == 0) continue;
    const int error = errno;
    struct stat info {};
    if (error == EEXIST && ::stat(part.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) continue;
    return part + ": " + (error == EEXIST ? std::string("not a folder") : std::strerror(error));
  }
  return {};
}

std::string LogTime(std::chrono::system_clock::time_point at) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(
      std::chrono::floor<std::chrono::seconds>(at));
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[40];
  std::size_t size = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  const long offset = local.tm_gmtoff / 60;
  const long shown = offset < 0 ? -offset : offset;
  std::snprintf(text + size, sizeof text - size, "%c%02ld:%02ld", offset < 0 ? '-' : '+', shown / 60, shown % 60);
  return text;
}

SessionLog::SessionLog(std::string folder, std::string_view name)
    : m_siteFolder(std::move(folder) + "/" + LogName(name)) {}

SessionLog::~SessionLog() {
  if (m_hasPartial && !Failed()) {
    const Stamp stamp = MakeStamp(m_partialAt);
    std::string line = stamp.text + ' ';
    text::AppendUtf8(line, m_partial, true);
    line.push_back('\n');
    Write(line, stamp.date);
  }
  CloseFile();
}

bool SessionLog::Add(std::string_view text, Clock::time_point at) {
  if (Failed()) return false;
  std::size_t i = 0;
  if (m_afterCr && !text.empty() && text.front() == '\n') i = 1;  // the LF of a CR LF cut in two
  m_afterCr = false;
  std::string batch;
  batch.reserve(text.size() + text.size() / 2 + 64);  // room for the stamps of lines of 50 bytes or more
  std::string batchDate;
  Stamp now;  // made once: every whole line here but the first came at `at`
  const Stamp* last = nullptr;
  const auto emit = [&](std::string_view first, std::string_view rest, const Stamp& stamp) {
    if (&stamp != last) {
      if (!batch.empty() && stamp.date != batchDate) {  // a line past midnight starts the next day's file
        Write(batch, batchDate);
        batch.clear();
      }
      batchDate = stamp.date;
      last = &stamp;
    }
    batch += stamp.text;
    batch.push_back(' ');
    text::AppendUtf8(batch, first, true);
    text::AppendUtf8(batch, rest, true);
    batch.push_back('\n');
  };
  while (i < text.size() && !Failed()) {
    std::size_t end = i;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
    if (end == text.size()) {
      if (!m_hasPartial) m_partialAt = at;
      m_hasPartial = true;
      m_partial.append(text.substr(i));
      break;
    }
    if (m_hasPartial) {
      emit(m_partial, text.substr(i, end - i), MakeStamp(m_partialAt));
      m_partial.clear();
      m_hasPartial = false;
    } else {
      if (now.text.empty()) now = MakeStamp(at);
      emit(text.substr(i, end - i), {}, now);
    }
    i = end + 1;
    if (text[end] == '\r') {
      if (i < text.size() && text[i] == '\n') ++i;
      else if (i == text.size()) m_afterCr = true;
    }
  }
  if (!batch.empty() && !Failed()) Write(batch, batchDate);
  return !Failed();
}

void SessionLog::Write(const std::string& lines, const std::string& date) {
  if (Failed()) return;
  const std::string path = m_siteFolder + "/" + date + ".log";
  if (m_fd < 0 || date != m_fileDate) {
    CloseFile();
    if (std::string error = MakeLogFolder(m_siteFolder); !error.empty()) {
      m_failure = "Log not written: " + error;
      return;
    }
    // No link followed, and a FIFO planted there neither blocks nor is written to.
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0600);
    if (m_fd < 0) return Fail(path, errno);
    struct stat info {};
    if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      CloseFile();
      m_failure = "Log not written: " + path + ": not a regular file";
      return;
    }
    m_fileDate = date;
  }
  // The lock keeps a write that the system cut short whole: its rest goes
  // before any other writer's lines.
  while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
  }
  const char* data = lines.data();
  std::size_t left = lines.size();
  int error = 0;
  while (left > 0) {
    const ssize_t written = ::write(m_fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    if (written == 0) {
      error = ENOSPC;
      break;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  ::flock(m_fd, LOCK_UN);
  if (error) Fail(path, error);
}

void SessionLog::Fail(const std::string& path, int error) {
  CloseFile();
  m_failure = "Log not written: " + path + ": " + std::strerror(error);
}

void SessionLog::CloseFile() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  m_fileDate.clear();
}
