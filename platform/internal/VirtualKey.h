// The numbers the design's key handlers are given: Windows virtual-key codes
// and key-message flags, made from a Qt key event.
#pragma once

#include <QKeyEvent>

namespace platform {
// The Windows virtual-key code of the key (65 for A, 13 for Enter, 112 for F1),
// or 0 for a key that has none. Never the window system's own number: on X11
// nativeVirtualKey() is a keysym (65293 for Return).
unsigned VirtualKeyOf(const QKeyEvent& e);
// The high word of a key message's lParam: the scan code in bits 0-7, bit 14
// set for a key that auto-repeats.
unsigned KeyFlagsOf(const QKeyEvent& e);
}  // namespace platform
