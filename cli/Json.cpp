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

bool IsPlain(unsigned char byte, bool escape) {
  return byte < 0x80 && (!escape || (byte >= 0x20 && byte != 0x7F) || byte == '\t' || byte == '\n');
}

void AppendText(std::string& out, std::string_view text, bool escape) {
  static constexpr char kHex[] = "0123456789abcdef";
  while (!text.empty()) {
    std::size_t plain = 0;  // appended in one go: most replies are plain ASCII
    while (plain < text.size() && IsPlain(static_cast<unsigned char>(text[plain]), escape)) ++plain;
    out.append(text.substr(0, plain));
    if (plain == text.size()) return;
    const auto byte = static_cast<unsigned char>(text[plain]);
    const unsigned code = byte < 0x80 ? byte : byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
    if (byte < 0x80) {  // a C0 control or DEL
      out += "\\x";
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 15]);
    } else if (code == 0 && escape) {
      AppendEscape(out, byte);
    } else {
      AppendCodePoint(out, code ? code : byte);
    }
    text.remove_prefix(plain + 1);
  }
}

}  // namespace

void AppendUtf8Text(std::string& out, std::string_view text) { AppendText(out, text, false); }

void AppendTerminalText(std::string& out, std::string_view text) { AppendText(out, text, true); }

std::string TerminalText(std::string_view text) {
  std::string out;
  AppendTerminalText(out, text);
  return out;
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
