#include "Output.h"

#include <cerrno>

#include "Json.h"

namespace {
// The window's palette as 24-bit terminal colours.
constexpr const char* kLoginColour = "\x1b[38;2;128;255;128m";
constexpr const char* kCommandColour = "\x1b[38;2;128;160;255m";
constexpr const char* kDisconnectColour = "\x1b[38;2;255;160;128m";
constexpr const char* kPlain = "\x1b[0m";
}  // namespace

bool Output::Write(std::string_view bytes) {
  if (m_broken) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size()) m_broken = true;
  return !m_broken;
}

bool Output::Flush() {
  if (!m_broken && std::fflush(m_file) != 0) m_broken = true;
  return !m_broken;
}

void PaneText::Append(TranscriptKind kind, std::string_view text) {
  switch (kind) {
    case TranscriptKind::Login:
      m_colour = kLoginColour;
      break;
    case TranscriptKind::Command:
    case TranscriptKind::Notice:
      m_colour = kCommandColour;
      break;
    case TranscriptKind::Reply:  // in the colour of its exchange
      break;
    case TranscriptKind::Hint:
    case TranscriptKind::Disconnect:
      m_colour = kDisconnectColour;
      break;
    case TranscriptKind::Text:  // the program's own words: the terminal's colour
      m_colour = "";
      break;
  }
  // The pane's first lines are blank (they part attempts there); a file or a terminal starts with text.
  if (!m_started) {
    const std::size_t first = text.find_first_not_of('\n');
    if (first == std::string_view::npos) return;
    text.remove_prefix(first);
    m_started = true;
  }
  if (m_prefix.empty() && !m_color) {
    AppendUtf8Text(m_pending, text);
    return;
  }
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end == std::string_view::npos ? text.size() : end);
    if (m_lineStart) m_pending.append(m_prefix);
    if (m_color && !line.empty()) m_pending.append(m_colour);
    AppendUtf8Text(m_pending, line);
    if (m_color && !line.empty()) m_pending.append(kPlain);
    m_lineStart = end != std::string_view::npos;
    if (!m_lineStart) break;
    m_pending.push_back('\n');
    text.remove_prefix(end + 1);
  }
}
