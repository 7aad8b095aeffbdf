// The pane's palette: the one place where a kind of transcript text gets its
// colour. The pane paints with it and its accessible text reports it, so a
// screen reader hears the colours the user sees.
#pragma once

#include "TranscriptKind.h"
#include "Types.h"

inline constexpr COLORREF logBackgroundColor = 0x00505050;  // dark grey
inline constexpr COLORREF logTextColor = 0x00FFFFFF;        // white
inline constexpr COLORREF logLoginColor = 0x0080FF80;       // light green
inline constexpr COLORREF logCommandColor = 0x00FFA080;     // light blue
inline constexpr COLORREF logDisconnectColor = 0x0080A0FF;  // orange

constexpr COLORREF KindColor(TranscriptKind kind) {
  switch (kind) {
    case TranscriptKind::Login:
      return logLoginColor;
    case TranscriptKind::Command:
    case TranscriptKind::Notice:
      return logCommandColor;
    case TranscriptKind::Disconnect:
    case TranscriptKind::Hint:
      return logDisconnectColor;
    case TranscriptKind::Reply:  // never stored: a reply takes the kind of its exchange
    case TranscriptKind::Text:
      return logTextColor;
  }
  return logTextColor;
}
