// One command run on several saved sites at once, as a table: a row per
// site with its state, the final reply's code and last line, and the time it
// took. Whoever drives the sessions reports to it; it keeps the rows and
// writes them out as tab-separated text or CSV.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "Exchange.h"
#include "TranscriptKind.h"

enum class SiteRunState { Connecting, Waiting, Done, Failed };

// "connecting", "waiting", "done" or "failed".
const char* SiteRunStateText(SiteRunState state);

// The last line of the replies a session has shown, without keeping all of
// them: a reply of a million lines costs one line here.
class ReplyTail {
 public:
  void Add(TranscriptKind kind, std::string_view text);
  void Clear() { m_tail.clear(); }
  // The last non-empty reply line, at most kMaxLine bytes of it.
  std::string LastLine() const;
  static constexpr std::size_t kMaxLine = 1000;

 private:
  std::string m_tail;
};

// The three-digit code a reply line starts with, else empty.
std::string ReplyCode(std::string_view line);

struct SiteRunRow {
  std::string site;
  SiteRunState state = SiteRunState::Connecting;
  std::string code;
  std::string reply;  // the final reply's last line, or why the row failed
  std::chrono::steady_clock::time_point started;
  std::chrono::steady_clock::time_point ended;
  long line = -1;                   // the transcript line where the row's first command was shown; -1: not known
  std::vector<Exchange> exchanges;  // the run's commands on this site, each with its reply, typed

  bool Ended() const { return state == SiteRunState::Done || state == SiteRunState::Failed; }
  // Seconds with one decimal from the start to the end; empty while it runs.
  std::string TimeText() const;
};

// One row of CSV without its line end, as SiteRun::Csv writes each: a
// field that a spreadsheet would run as a formula gets a "'" in front; one
// holding a comma, a quote or a line break is quoted, its quotes doubled.
void AppendCsvFields(std::string& out, const std::vector<std::string>& fields);
// One tab-separated row without its line end, as SiteRun::TabSeparated
// writes each: the same "'" in front, and a tab or line break inside a
// field becomes a blank.
void AppendTsvFields(std::string& out, const std::vector<std::string>& fields);

class SiteRun {
 public:
  using Clock = std::chrono::steady_clock;

  // Starts a row per site, all at `now`, each "connecting".
  void Begin(const std::vector<std::string>& sites, Clock::time_point now = Clock::now());

  const std::vector<SiteRunRow>& Rows() const { return m_rows; }
  const SiteRunRow& Row(std::size_t row) const { return m_rows.at(row); }

  // Each returns false, changing nothing, when the row has ended already.
  bool SetLine(std::size_t row, long line);
  bool Waiting(std::size_t row);
  // The final reply's last line: its code goes into the Code column.
  bool Done(std::size_t row, const std::string& lastLine, Clock::time_point now = Clock::now());
  // A typed reply of the row's run, kept in order.
  bool AddExchange(std::size_t row, const Exchange& exchange);
  // why goes into the Reply column; a server's line, when it is why, gives the code.
  bool Fail(std::size_t row, const std::string& why, const std::string& code = {},
            Clock::time_point now = Clock::now());
  // Every row still running starts its clock again at now (the wait for
  // passwords is the user's time, not the sites').
  void Restart(Clock::time_point now = Clock::now());
  // Every row still running that started limit or more before now fails as
  // "timed out"; returns those rows.
  std::vector<std::size_t> TimeOut(std::chrono::milliseconds limit, Clock::time_point now = Clock::now());
  // The timeout as typed: whole seconds, 1 to kMaxTimeout; false when it is not that.
  static bool ParseTimeout(const std::string& text, unsigned& seconds);
  static constexpr unsigned kMaxTimeout = 86400;

  // The header row and one row per site: Site, State, Code, Reply, Time.
  std::vector<std::vector<std::string>> Table() const;
  static const std::vector<std::string>& Header();
  // Both exports are opened by spreadsheets, which run a cell that starts
  // with "=", "+", "-", "@", a tab or a CR as a formula: such a cell gets a
  // "'" in front, and is otherwise written whole.
  // Tab-separated, a line per row ("\n"); a tab or line break inside a field becomes a blank.
  std::string TabSeparated() const;
  // RFC 4180: "\r\n" after each row; a field holding a comma, a quote or a
  // line break is quoted, its quotes doubled.
  std::string Csv() const;

 private:
  std::vector<SiteRunRow> m_rows;
};
