// The one palette: the colour each kind of transcript text is shown in. The
// window's pane paints with it (and its accessible text reports it); the
// runner's terminal output takes its colours from it too. No Qt here.
#pragma once

#include <cstdint>

#include "TranscriptKind.h"

namespace palette {

struct Colour {
  std::uint8_t r = 0, g = 0, b = 0;
  friend constexpr bool operator==(const Colour&, const Colour&) = default;
};

inline constexpr Colour kBackground{0x50, 0x50, 0x50};  // dark grey
inline constexpr Colour kText{0xFF, 0xFF, 0xFF};        // white
inline constexpr Colour kLogin{0x80, 0xFF, 0x80};       // light green
inline constexpr Colour kCommand{0x80, 0xA0, 0xFF};     // light blue
inline constexpr Colour kDisconnect{0xFF, 0xA0, 0x80};  // orange

constexpr Colour Of(TranscriptKind kind) {
  switch (kind) {
    case TranscriptKind::Login:
      return kLogin;
    case TranscriptKind::Command:
    case TranscriptKind::Notice:
      return kCommand;
    case TranscriptKind::Disconnect:
    case TranscriptKind::Hint:
      return kDisconnect;
    case TranscriptKind::Reply:  // never stored: a reply takes the kind of its exchange
    case TranscriptKind::Text:
      return kText;
  }
  return kText;
}

}  // namespace palette
