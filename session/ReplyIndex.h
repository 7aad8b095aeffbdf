// Where each command's reply stands in a session's transcript, so a view
// can find the reply under a line, or the last one that holds a table,
// without the session copying a reply. The transcript stays the one home of
// the text: an entry is checked against it before use, as the user may
// clear or edit the pane, or old lines may have been dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "Exchange.h"
#include "ReplyTable.h"
#include "Transcript.h"

class ReplyIndex {
 public:
  struct Entry {
    std::uint64_t exchange = 0;      // the Exchange's id
    std::string command;             // as sent
    Transcript::Pos echoLine = 0;    // the line showing ">" and the command; the reply's lines follow
    std::size_t lines = 0;           // the reply's lines
    mutable signed char table = -1;  // whether the reply holds a table: -1 not looked at yet
  };

  // An owner's command whose reply begins at replyLine (its echo just above).
  void Add(const Exchange& exchange, Transcript::Pos replyLine);
  void Clear() { m_entries.clear(); }
  std::size_t Size() const { return m_entries.size(); }

  // The newest reply whose echo or lines hold `line`, still as the log shows it; null when none.
  const Entry* At(const Transcript& log, Transcript::Pos line) const;
  // The reply of that exchange, still as the log shows it; null when none.
  const Entry* Find(const Transcript& log, std::uint64_t exchange) const;
  // The newest reply that holds a table, among the last kMaxLookBack; null when none.
  const Entry* LastWithTable(const Transcript& log) const;
  // The reply's table as the log shows it now; none when it holds none, or
  // when it is longer than kMaxTableBytes (its cells would cost many times its text).
  std::optional<ReplyTable> Table(const Transcript& log, const Entry& entry) const;
  bool HasTable(const Transcript& log, const Entry& entry) const;

  static constexpr std::size_t kMaxEntries = 4096;
  static constexpr std::size_t kMaxLookBack = 256;
  static constexpr Transcript::Pos kMaxTableBytes = Transcript::Pos{16} << 20;

 private:
  bool Holds(const Transcript& log, const Entry& entry) const;

  std::deque<Entry> m_entries;  // oldest first
};
