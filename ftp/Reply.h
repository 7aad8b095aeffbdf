#pragma once

#include <functional>
#include <string>

#include "LineReader.h"

enum class ReplyStatus {
  Complete,  // the reply's last line has been read
  Closed,    // the server closed the connection before the reply was complete
  Failed,    // receive error before the reply was complete
  Aborted    // the wait was abandoned before the reply was complete
};

// Reads one FTP reply. A first line with '-' as its fourth character opens a
// multi-line reply, which goes on until a line that begins with three digits
// and has no '-' after them (a line of just three digits ends it too); lines
// in between that do not begin with three digits belong to the reply, and the
// code is not compared, as servers send indented lists and blank lines there.
// Any other first line is the whole reply.
//
// onLine is called for every line read, also when the reply breaks off (a
// line cut short by a close is shown, but the reply is not complete: a reply
// ends only at a line end); lastLine holds the last line read (empty when
// none was).
ReplyStatus ReadReplyLines(LineReader& reader, const std::function<void(const std::string&)>& onLine,
                           std::string& lastLine);
