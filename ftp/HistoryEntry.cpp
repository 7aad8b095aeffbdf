#include "HistoryEntry.h"

#include <cstdint>

std::string MakeHistoryEntry(const std::string& login, const std::string& host, unsigned port) {
  // The port is written as a signed int, as the entry text has always been.
  return login + "@" + host + ":" + std::to_string(static_cast<int>(port));
}

namespace {

bool IsAtoiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

unsigned ParsePort(const std::string& text, std::size_t i) {
  while (i < text.size() && IsAtoiSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  return negative ? 0u - value : value;
}

unsigned char FoldCase1252(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 0x20);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 0x20);
  switch (c) {
    case 0x8A:
      return 0x9A;
    case 0x8C:
      return 0x9C;
    case 0x8E:
      return 0x9E;
    case 0x9F:
      return 0xFF;
    default:
      return c;
  }
}

}  // namespace

HistoryFields ParseHistoryEntry(const std::string& entry) {
  HistoryFields f;
  const std::size_t colon = entry.rfind(':');
  const std::size_t hostEnd = colon == std::string::npos ? entry.size() : colon;
  const std::size_t at = hostEnd == 0 ? std::string::npos : entry.rfind('@', hostEnd - 1);
  if (at == std::string::npos) {
    f.host = entry.substr(0, hostEnd);
  } else {
    f.login = entry.substr(0, at);
    f.host = entry.substr(at + 1, hostEnd - at - 1);
  }
  if (colon != std::string::npos) f.port = ParsePort(entry, colon + 1);
  return f;
}

bool SameHistoryEntry(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase1252(static_cast<unsigned char>(a[i])) != FoldCase1252(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}
