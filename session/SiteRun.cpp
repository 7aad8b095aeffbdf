#include "SiteRun.h"

#include <algorithm>
#include <cstdio>

#include "Reply.h"

namespace {
// A server's reply such as "=HYPERLINK(...)" must reach the spreadsheet as text.
std::string Inert(const std::string& field) {
  if (field.empty() || std::string_view("=+-@\t\r").find(field.front()) == std::string_view::npos) return field;
  return "'" + field;
}
}  // namespace

const char* SiteRunStateText(SiteRunState state) {
  switch (state) {
    case SiteRunState::Connecting:
      return "connecting";
    case SiteRunState::Waiting:
      return "waiting";
    case SiteRunState::Done:
      return "done";
    case SiteRunState::Failed:
      return "failed";
  }
  return "";
}

void ReplyTail::Add(TranscriptKind kind, std::string_view text) {
  if (kind != TranscriptKind::Reply) return;
  m_tail.append(text);
  // Keep only the last non-empty line and what follows it (line ends, a line begun).
  const std::size_t end = m_tail.find_last_not_of("\r\n");
  if (end == std::string::npos) return;
  const std::size_t start = m_tail.rfind('\n', end);
  if (start != std::string::npos) m_tail.erase(0, start + 1);
}

std::string ReplyTail::LastLine() const {
  const std::size_t end = m_tail.find_last_not_of("\r\n");
  if (end == std::string::npos) return {};
  return m_tail.substr(0, std::min(end + 1, kMaxLine));
}

std::string ReplyCode(std::string_view line) {
  return reply::Code(line) < 0 ? std::string() : std::string(line.substr(0, 3));
}

std::string SiteRunRow::TimeText() const {
  if (!Ended()) return {};
  const double seconds = std::chrono::duration<double>(ended - started).count();
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds < 0 ? 0.0 : seconds);
  return text;
}

void SiteRun::Begin(const std::vector<std::string>& sites, Clock::time_point now) {
  m_rows.clear();
  for (const std::string& site : sites) {
    SiteRunRow row;
    row.site = site;
    row.started = now;
    m_rows.push_back(std::move(row));
  }
}

bool SiteRun::SetLine(std::size_t row, long line) {
  if (m_rows.at(row).Ended()) return false;
  m_rows[row].line = line;
  return true;
}

bool SiteRun::Waiting(std::size_t row) {
  if (m_rows.at(row).Ended()) return false;
  m_rows[row].state = SiteRunState::Waiting;
  return true;
}

bool SiteRun::Done(std::size_t row, const std::string& lastLine, Clock::time_point now) {
  SiteRunRow& r = m_rows.at(row);
  if (r.Ended()) return false;
  r.state = SiteRunState::Done;
  r.code = ReplyCode(lastLine);
  r.reply = lastLine;
  r.ended = now;
  return true;
}

bool SiteRun::AddExchange(std::size_t row, const Exchange& exchange) {
  if (m_rows.at(row).Ended()) return false;
  m_rows[row].exchanges.push_back(exchange);
  return true;
}

bool SiteRun::Fail(std::size_t row, const std::string& why, const std::string& code, Clock::time_point now) {
  SiteRunRow& r = m_rows.at(row);
  if (r.Ended()) return false;
  r.state = SiteRunState::Failed;
  r.code = code;
  r.reply = why;
  r.ended = now;
  return true;
}

void SiteRun::Restart(Clock::time_point now) {
  for (SiteRunRow& r : m_rows)
    if (!r.Ended()) r.started = now;
}

std::vector<std::size_t> SiteRun::TimeOut(std::chrono::milliseconds limit, Clock::time_point now) {
  std::vector<std::size_t> ended;
  for (std::size_t row = 0; row < m_rows.size(); ++row)
    if (!m_rows[row].Ended() && now - m_rows[row].started >= limit && Fail(row, "timed out", {}, now))
      ended.push_back(row);
  return ended;
}

bool SiteRun::ParseTimeout(const std::string& text, unsigned& seconds) {
  const std::size_t first = text.find_first_not_of(' ');
  const std::size_t last = text.find_last_not_of(' ');
  if (first == std::string::npos || last - first + 1 > 5) return false;
  unsigned value = 0;
  for (std::size_t i = first; i <= last; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
  }
  if (value < 1 || value > kMaxTimeout) return false;
  seconds = value;
  return true;
}

const std::vector<std::string>& SiteRun::Header() {
  static const std::vector<std::string> header{"Site", "State", "Code", "Reply", "Time"};
  return header;
}

std::vector<std::vector<std::string>> SiteRun::Table() const {
  std::vector<std::vector<std::string>> table{Header()};
  for (const SiteRunRow& r : m_rows)
    table.push_back({r.site, SiteRunStateText(r.state), r.code, r.reply, r.TimeText()});
  return table;
}

std::string SiteRun::TabSeparated() const {
  std::string text;
  for (const auto& row : Table()) {
    AppendTsvFields(text, row);
    text += '\n';
  }
  return text;
}

void AppendTsvFields(std::string& out, const std::vector<std::string>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += '\t';
    for (char c : Inert(fields[i])) out += (c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
  }
}

void AppendCsvFields(std::string& out, const std::vector<std::string>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    const std::string field = Inert(fields[i]);
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
      out += field;
      continue;
    }
    out += '"';
    for (char c : field) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
}

std::string SiteRun::Csv() const {
  std::string text;
  for (const auto& row : Table()) {
    AppendCsvFields(text, row);
    text += "\r\n";
  }
  return text;
}
