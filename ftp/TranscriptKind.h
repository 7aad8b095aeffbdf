// What a piece of the transcript is. The connection tells each line's kind,
// the transcript model keeps it, and only the pane's palette knows colours.
#pragma once

#include <cstdint>

enum class TranscriptKind : std::uint8_t {
  Login,       // "connecting to", the USER and PASS echoes
  Command,     // the echo of a command line
  Reply,       // a reply line; kept under the kind of the exchange it answers
  Notice,      // a line that arrived while no exchange ran
  Disconnect,  // the connection is gone
  Hint,        // advice to the user about the connection, not from the server
  Text,        // the program's own words, such as the banner
};
