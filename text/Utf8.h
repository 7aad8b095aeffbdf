// Windows-1252 text as UTF-8, for whatever is read outside the program (a
// terminal, a file). The one table of the code page's 0x80-0x9F.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace text {

// Code points of 0x80-0x9F; 0 marks a byte the code page leaves undefined.
inline constexpr std::array<std::uint16_t, 32> kCp1252HighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// A code point below 0x10000 as UTF-8.
inline void AppendCodePoint(std::string& out, unsigned code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
    return;
  }
  if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
  }
  out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
}

// Appends Windows-1252 text as UTF-8; an undefined byte becomes the same
// code point. With escape, C0 controls other than TAB and LF, DEL and the
// undefined bytes come out as visible escapes ("\x1b", "\u009d"): a
// server's bytes must not drive the terminal that shows them.
inline void AppendUtf8(std::string& out, std::string_view text, bool escape) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto plain = [escape](unsigned char byte) {
    return byte < 0x80 && (!escape || (byte >= 0x20 && byte != 0x7F) || byte == '\t' || byte == '\n');
  };
  while (!text.empty()) {
    std::size_t run = 0;  // appended in one go: most text is plain ASCII
    while (run < text.size() && plain(static_cast<unsigned char>(text[run]))) ++run;
    out.append(text.substr(0, run));
    if (run == text.size()) return;
    const auto byte = static_cast<unsigned char>(text[run]);
    const unsigned code = byte < 0x80 ? byte : byte < 0xA0 ? kCp1252HighControls[byte - 0x80] : byte;
    if (byte < 0x80) {  // a C0 control or DEL
      out += "\\x";
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 15]);
    } else if (code == 0 && escape) {
      out += "\\u00";
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 15]);
    } else {
      AppendCodePoint(out, code ? code : byte);
    }
    text.remove_prefix(run + 1);
  }
}

}  // namespace text
