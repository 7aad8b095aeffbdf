// The pane's palette: the colours of transcript/KindColours.h as Qt colours.
// The pane paints with it and its accessible text reports it, so a screen
// reader hears the colours the user sees.
#pragma once

#include <QColor>

#include "KindColours.h"
#include "TranscriptKind.h"

namespace platform {
inline QColor ToQColor(palette::Colour c) { return QColor(c.r, c.g, c.b); }
inline QColor KindColor(TranscriptKind kind) { return ToQColor(palette::Of(kind)); }
}  // namespace platform
