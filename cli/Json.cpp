#include "Json.h"

#include <array>
#include <cstdint>

namespace {

// Code points of 0x80-0x9F; 0 marks a byte the code page leaves undefined.
constexpr std::array<std::uint16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendEscape(std::string& out, unsigned code) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u00";
  out.push_back(kHex[(code >> 4) & 15]);
  out.push_back(kHex[code & 15]);
}

void AppendCodePoint(std::string& out, unsigned code) {
  if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
  }
  out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
}

}  // namespace

void AppendUtf8Text(std::string& out, std::string_view text) {
  while (!text.empty()) {
    std::size_t ascii = 0;  // appended in one go: most replies are plain ASCII
    while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80) ++ascii;
    out.append(text.substr(0, ascii));
    if (ascii == text.size()) return;
    const auto byte = static_cast<unsigned char>(text[ascii]);
    const unsigned code = byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
    AppendCodePoint(out, code ? code : byte);
    text.remove_prefix(ascii + 1);
  }
}

void AppendJsonString(std::string& out, std::string_view text) {
  out.push_back('"');
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '"' || byte == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (byte < 0x20 || byte == 0x7F) {
      AppendEscape(out, byte);
    } else if (byte < 0x80) {
      out.push_back(c);
    } else if (byte < 0xA0) {
      const unsigned code = kHighControls[byte - 0x80];
      if (code)
        AppendCodePoint(out, code);
      else
        AppendEscape(out, byte);
    } else {
      AppendCodePoint(out, byte);
    }
  }
  out.push_back('"');
}
