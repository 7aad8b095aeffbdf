#pragma once

#include <string>
#include <string_view>

#include "LineReader.h"

enum class ReplyStatus {
  Complete,  // the reply's last line has been read
  Closed,    // the server closed the connection before the reply was complete
  Failed,    // receive error before the reply was complete
  Aborted    // the wait was abandoned before the reply was complete
};

namespace reply {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// The reply code a line begins with (three digits); -1 when it has none.
inline int Code(std::string_view line) {
  if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2])) return -1;
  return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}
inline bool OpensMultiLine(std::string_view line) { return line.size() >= 4 && line[3] == '-'; }
inline bool EndsMultiLine(std::string_view line) { return Code(line) >= 0 && (line.size() == 3 || line[3] != '-'); }
ReplyStatus Broken(LineReader::Status st);

}  // namespace reply

// A refusal (reply class '4' or '5') that names encryption in one of its
// words, so the user may just have forgotten to ask for TLS. The words are
// TLS, SSL, secure, secured, encrypt, encrypted and encryption, in any letter
// case; a word is a run of letters, so a login such as "rtlsmith" echoed back
// in a refusal is none of them.
bool AsksForEncryption(char replyClass, std::string_view text);

// Reads one FTP reply. A first line with '-' as its fourth character opens a
// multi-line reply, which goes on until a line that begins with three digits
// and has no '-' after them (a line of just three digits ends it too); lines
// in between that do not begin with three digits belong to the reply, and the
// code is not compared, as servers send indented lists and blank lines there.
// Any other first line is the whole reply.
//
// onLine(std::string_view) is called for every line read (the view is valid
// during the call), also when the reply breaks off: a line cut short by a
// close is shown, but the reply is not complete, as a reply ends only at a
// line end. lastLine holds the reply's last line when it is complete, else
// the line cut short (or nothing). A template, so the per-line call of a
// reply of many megabytes is inlined.
template <class OnLine>
ReplyStatus ReadReplyLines(LineReader& reader, OnLine&& onLine, std::string& lastLine) {
  lastLine.clear();
  std::string_view line;
  bool first = true;
  for (;;) {
    LineReader::Status st = reader.Next(line);
    if (st == LineReader::Status::Partial) {  // shown, but a reply ends only at a line end
      onLine(line);
      lastLine.assign(line);
      st = reader.Next(line);
      return reply::Broken(st);
    }
    if (st != LineReader::Status::Line) return reply::Broken(st);
    onLine(line);
    if (first ? !reply::OpensMultiLine(line) : reply::EndsMultiLine(line)) {
      lastLine.assign(line);
      return ReplyStatus::Complete;
    }
    first = false;
  }
}
