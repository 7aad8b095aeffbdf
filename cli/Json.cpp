#include "Json.h"

#include "Utf8.h"

namespace {

void AppendEscape(std::string& out, unsigned code) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u00";
  out.push_back(kHex[(code >> 4) & 15]);
  out.push_back(kHex[code & 15]);
}

}  // namespace

void AppendUtf8Text(std::string& out, std::string_view text) { text::AppendUtf8(out, text, false); }

void AppendTerminalText(std::string& out, std::string_view text) { text::AppendUtf8(out, text, true); }

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
      const unsigned code = text::kCp1252HighControls[byte - 0x80];
      if (code)
        text::AppendCodePoint(out, code);
      else
        AppendEscape(out, byte);
    } else {
      text::AppendCodePoint(out, byte);
    }
  }
  out.push_back('"');
}
