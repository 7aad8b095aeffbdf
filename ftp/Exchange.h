// One command and its reply, as data. The connection reports each exchange
// twice: when the command is about to go (for the echo) and when its reply
// has ended, however it ended. The reply's lines themselves travel once, in
// the display stream; an exchange carries what a program decides on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "TranscriptKind.h"

struct Reply {
  int code = -1;              // the final line's code when complete, else the first line's; -1 none
  bool complete = false;      // its final line came
  std::size_t lineCount = 0;  // lines read, a line cut short included
  std::string last;           // the final line (or the last that came), at most kMaxLast bytes
  static constexpr std::size_t kMaxLast = 1000;
};

struct Exchange {
  std::uint64_t id = 0;  // from 1, per ControlConnection (a reconnect counts on); the login's steps count too
  // Command for the owner's lines, Login for the greeting, AUTH TLS, USER and PASS.
  TranscriptKind kind = TranscriptKind::Command;
  // As sent, without its line end; empty for the greeting. The password
  // never leaves the connection: PASS is reported as "PASS **********".
  std::string command;
  Reply reply;
};
