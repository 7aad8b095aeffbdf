// Where a run's text goes: standard output, written in whole pieces (a reply
// of one target is never split by another's, as only the owner's thread
// writes), unbuffered, and stopped once the reader has gone (| head -1) or a
// write failed (/dev/full), each told apart for the exit status.
#pragma once

#include <string>
#include <string_view>

#include "ControlConnection.h"

class Output {
 public:
  enum class State { Open, ReaderGone, Failed, Cancelled };

  // Does not own fd until Close().
  explicit Output(int fd);
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // False once the output is no longer Open; nothing more is written then.
  bool Write(std::string_view bytes);
  // Closes the descriptor: the last chance for the system to report a lost write.
  bool Close();
  // From any thread (the signal thread): a write waiting for a reader that
  // doesn't read gives up at once.
  void Cancel();

  bool Broken() const { return m_state != State::Open; }
  State Status() const { return m_state; }
  const std::string& Error() const { return m_error; }

 private:
  bool Fail(int error);

  int m_fd;
  int m_wakeFd;
  bool m_mayBlock;  // a pipe, socket or terminal: its reader sets the pace
  State m_state = State::Open;
  std::string m_error;
};

// The pane's text of one target as lines for a terminal or a file: each
// line behind `prefix`, in UTF-8, and with colours in the window's palette
// when asked.
class PaneText {
 public:
  // escape: a server's control bytes are shown as escapes (see AppendTerminalText).
  PaneText(std::string prefix, bool color, bool escape)
      : m_prefix(std::move(prefix)), m_color(color), m_escape(escape) {}
  void Append(TranscriptKind kind, std::string_view text);
  std::string& Pending() { return m_pending; }

 private:
  std::string m_prefix;
  bool m_color;
  bool m_escape;
  bool m_started = false;
  bool m_lineStart = true;
  std::string m_colour;                                // of the exchange under way
  TranscriptKind m_colourKind = TranscriptKind::Text;  // whose colour m_colour is
  std::string m_pending;
};
