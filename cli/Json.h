// JSON strings from the program's Windows-1252 text: valid UTF-8 always.
// Bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) and
// control bytes come out as \u escapes of the same code point, so every byte
// can be recovered from the JSON.
#pragma once

#include <string>
#include <string_view>

// Appends Windows-1252 `text` as UTF-8: what a terminal or a file reader
// expects. An undefined byte becomes the same code point, as in the window.
void AppendUtf8Text(std::string& out, std::string_view text);

// The same for a terminal: a server's bytes must not drive it (set its
// title, clear it, write the clipboard, or backspace over a TARGET prefix to
// pose as another target), so C0 controls other than TAB and LF, DEL and the
// C1 controls come out as visible escapes ("\x1b", "\u009d").
void AppendTerminalText(std::string& out, std::string_view text);
std::string TerminalText(std::string_view text);

// Appends `text` as a quoted JSON string.
void AppendJsonString(std::string& out, std::string_view text);
