// The pane's palette: the colours of transcript/KindColours.h as the window's
// COLORREF. The pane paints with it and its accessible text reports it, so a
// screen reader hears the colours the user sees.
#pragma once

#include "KindColours.h"
#include "TranscriptKind.h"
#include "Types.h"

constexpr COLORREF ToColorRef(palette::Colour c) { return RGB(c.r, c.g, c.b); }

inline constexpr COLORREF logBackgroundColor = ToColorRef(palette::kBackground);
inline constexpr COLORREF logTextColor = ToColorRef(palette::kText);
inline constexpr COLORREF logLoginColor = ToColorRef(palette::kLogin);
inline constexpr COLORREF logCommandColor = ToColorRef(palette::kCommand);
inline constexpr COLORREF logDisconnectColor = ToColorRef(palette::kDisconnect);

constexpr COLORREF KindColor(TranscriptKind kind) { return ToColorRef(palette::Of(kind)); }
