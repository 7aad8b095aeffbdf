// A session's transcript kept on disk, so what was done on a site can be
// shown later: one file per site and day, FOLDER/NAME/YYYY-MM-DD.log, one
// line per transcript line behind its arrival time (ISO 8601, local time
// with its offset), in UTF-8 with control bytes as visible escapes. The
// password never reaches it: the login's line is "PASS **********" already.
//
// Several sessions, in this process or another, may log one site at once:
// the file is opened for appending and each batch of whole lines goes out
// in one write under an exclusive lock, so lines never interleave. The
// file is made 0600 and its folders 0700, with those modes from the start.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

// $XDG_STATE_HOME/korvastel/logs, or ~/.local/state/korvastel/logs when
// that is unset or not an absolute path.
std::string DefaultLogFolder();

// A site's name as a folder name that stays inside the logs folder: "/",
// "\", "%", control bytes, bytes past ASCII and a leading dot are written as
// %XX (so different names stay different), an empty name is "%", and a
// name too long for a file name keeps its start and gains a hash.
std::string LogName(std::string_view site);

// Makes folder and those above it that are missing, each 0700. Empty on
// success, else the failing path and the system's words.
std::string MakeLogFolder(const std::string& folder);

// "2026-12-08T13:04:05+01:00" for the local time at `at`.
std::string LogTime(std::chrono::system_clock::time_point at);

class SessionLog {
 public:
  using Clock = std::chrono::system_clock;

  // Lines go to folder/LogName(name)/DATE.log; nothing is opened yet.
  SessionLog(std::string folder, std::string_view name);
  // A line still open is written with a line end.
  ~SessionLog();
  SessionLog(const SessionLog&) = delete;
  SessionLog& operator=(const SessionLog&) = delete;

  // A piece of the transcript as the pane shows it, line ends included
  // (LF, CR, or CR LF, also when the CR and the LF come in separate
  // pieces). Its whole lines are written now, each with the time its first
  // byte came. False once the log has failed: then nothing is written any
  // more and Failure() says why.
  bool Add(std::string_view text, Clock::time_point at = Clock::now());

  bool Failed() const { return !m_failure.empty(); }
  // "Log not written: PATH: REASON".
  const std::string& Failure() const { return m_failure; }
  // The site's folder: FOLDER/NAME.
  const std::string& SiteFolder() const { return m_siteFolder; }

 private:
  void Write(const std::string& lines, const std::string& date);
  void Fail(const std::string& path, int error);
  void CloseFile();

  std::string m_siteFolder;
  std::string m_partial;  // the start of a line whose end has not come yet
  Clock::time_point m_partialAt;
  bool m_hasPartial = false;
  bool m_afterCr = false;  // the last piece ended with CR: an LF next ends no new line
  int m_fd = -1;
  std::string m_fileDate;  // the date of the file m_fd is open on
  std::string m_failure;
};
