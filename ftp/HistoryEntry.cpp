#include "HistoryEntry.h"

#include <cstdint>

#include "CaseFold.h"

std::string MakeHistoryEntry(const std::string& login, const std::string& host, unsigned port) {
  // The port is written as a signed int, as the entry text has always been.
  return login + "@" + host + ":" + std::to_string(static_cast<int>(port));
}

namespace {

bool IsAtoiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::string ParsePort(const std::string& text, std::size_t i) {
  while (i < text.size() && IsAtoiSpace(text[i])) ++i;
  const std::size_t start = i;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t digits = i;
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    if (value <= 65535) value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  if (i == digits) return "0";
  if (!negative && value >= 1 && value <= 65535) return std::to_string(value);
  return text.substr(start, i - start);
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

// Entries are told apart the way names are: ignoring letter case over the code page.
bool SameHistoryEntry(const std::string& a, const std::string& b) { return text::EqualIgnoringCase(a, b); }
