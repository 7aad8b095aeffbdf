// The one rule for text that goes out as one line: a CR, LF or NUL inside it
// would let the server read a second command, so such text is never sent.
#pragma once

#include <string_view>

inline bool HoldsLineBreak(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}
