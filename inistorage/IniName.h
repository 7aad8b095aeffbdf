#pragma once

// Block and key names compare ignoring letter case over Windows-1252:
// ASCII letters and the code page's accented letters fold to lower case.

#include <array>
#include <cstddef>
#include <string_view>

namespace IniNameDetail {

constexpr std::array<unsigned char, 256> MakeFoldTable() {
  std::array<unsigned char, 256> table{};
  for (int i = 0; i < 256; ++i) table[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i);
  for (int c = 'A'; c <= 'Z'; ++c) table[static_cast<std::size_t>(c)] = static_cast<unsigned char>(c + 0x20);
  // Accented capitals À..Þ sit 0x20 below their small letters, except × (0xD7) / ÷ (0xF7).
  for (int c = 0xC0; c <= 0xDE; ++c)
    if (c != 0xD7) table[static_cast<std::size_t>(c)] = static_cast<unsigned char>(c + 0x20);
  table[0x8A] = 0x9A;  // Š š
  table[0x8C] = 0x9C;  // Œ œ
  table[0x8E] = 0x9E;  // Ž ž
  table[0x9F] = 0xFF;  // Ÿ ÿ
  return table;
}

inline constexpr std::array<unsigned char, 256> foldTable = MakeFoldTable();

}  // namespace IniNameDetail

// The lower-case partner of a Windows-1252 byte; bytes without one map to themselves.
inline unsigned char IniFoldCase(unsigned char byte) { return IniNameDetail::foldTable[byte]; }

// Inline: the parser compares names for every line it reads.
inline bool IniNamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x != y && IniFoldCase(x) != IniFoldCase(y)) return false;
  }
  return true;
}

struct IniNameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const;
};

struct IniNameEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return IniNamesEqual(a, b); }
};
