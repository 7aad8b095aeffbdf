#include "ReplyIndex.h"

#include <string_view>
#include <vector>

void ReplyIndex::Add(const Exchange& exchange, Transcript::Pos replyLine) {
  // The echo is a line of its own only for the owner's commands; the login's steps are no one's table.
  if (exchange.kind != TranscriptKind::Command || replyLine < 1 || exchange.reply.lineCount == 0) return;
  if (m_entries.size() >= kMaxEntries) m_entries.pop_front();
  m_entries.push_back({exchange.id, exchange.command, replyLine - 1, exchange.reply.lineCount});
}

bool ReplyIndex::Holds(const Transcript& log, const Entry& entry) const {
  const Transcript::Pos last = entry.echoLine + static_cast<Transcript::Pos>(entry.lines);
  if (entry.echoLine < log.FirstLine() || last >= log.LineCount()) return false;
  const Transcript::Pos start = log.LineStart(entry.echoLine);
  const Transcript::Pos end = log.LineEnd(entry.echoLine);
  if (end - start != static_cast<Transcript::Pos>(entry.command.size()) + 1 || log.At(start) != '>') return false;
  return log.Text(start + 1, end) == entry.command;
}

const ReplyIndex::Entry* ReplyIndex::At(const Transcript& log, Transcript::Pos line) const {
  for (auto e = m_entries.rbegin(); e != m_entries.rend(); ++e)
    if (line >= e->echoLine && line <= e->echoLine + static_cast<Transcript::Pos>(e->lines) && Holds(log, *e))
      return &*e;
  return nullptr;
}

const ReplyIndex::Entry* ReplyIndex::Find(const Transcript& log, std::uint64_t exchange) const {
  for (auto e = m_entries.rbegin(); e != m_entries.rend(); ++e)
    if (e->exchange == exchange) return Holds(log, *e) ? &*e : nullptr;
  return nullptr;
}

const ReplyIndex::Entry* ReplyIndex::LastWithTable(const Transcript& log) const {
  std::size_t looked = 0;
  for (auto e = m_entries.rbegin(); e != m_entries.rend() && looked < kMaxLookBack; ++e, ++looked)
    if (HasTable(log, *e)) return &*e;
  return nullptr;
}

bool ReplyIndex::HasTable(const Transcript& log, const Entry& entry) const {
  if (!Holds(log, entry)) return false;
  if (entry.table < 0) entry.table = Table(log, entry) ? 1 : 0;
  return entry.table > 0;
}

std::optional<ReplyTable> ReplyIndex::Table(const Transcript& log, const Entry& entry) const {
  if (!Holds(log, entry)) return std::nullopt;
  const Transcript::Pos first = entry.echoLine + 1;
  const Transcript::Pos last = entry.echoLine + static_cast<Transcript::Pos>(entry.lines);
  const Transcript::Pos from = log.LineStart(first), to = log.LineEnd(last);
  if (to - from > kMaxTableBytes) {
    entry.table = 0;
    return std::nullopt;
  }
  const std::string text = log.Text(from, to);
  std::vector<std::string_view> lines;
  lines.reserve(entry.lines);
  std::string_view rest(text);
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    lines.push_back(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  std::optional<ReplyTable> table = FindTable(ReplyBodies(lines));
  entry.table = table ? 1 : 0;
  return table;
}
