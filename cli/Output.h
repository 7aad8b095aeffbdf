// Where a run's text goes: standard output, written in whole pieces (a reply
// of one target is never split by another's), and stopped quietly once the
// reader has gone (| head -1).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "ControlConnection.h"

class Output {
 public:
  explicit Output(std::FILE* file) : m_file(file) {}
  // False once the reader has gone or the write failed; nothing more is written then.
  bool Write(std::string_view bytes);
  bool Flush();
  bool Broken() const { return m_broken; }

 private:
  std::FILE* m_file;
  bool m_broken = false;
};

// The pane's text of one target as lines for a terminal or a file: each
// line behind `prefix`, in UTF-8, and with colours in the window's palette
// when asked.
class PaneText {
 public:
  PaneText(std::string prefix, bool color) : m_prefix(std::move(prefix)), m_color(color) {}
  void Append(TranscriptKind kind, std::string_view text);
  std::string& Pending() { return m_pending; }

 private:
  std::string m_prefix;
  bool m_color;
  bool m_started = false;
  bool m_lineStart = true;
  const char* m_colour = "";  // of the exchange under way
  std::string m_pending;
};
