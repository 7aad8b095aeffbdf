// Letter case over Windows-1252, as the program's names and searches fold it:
// ASCII letters and the code page's accented letters fold to lower case.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace text {

namespace detail {

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

}  // namespace detail

// The lower-case partner of a Windows-1252 byte; bytes without one map to themselves.
inline unsigned char FoldCase(unsigned char byte) { return detail::foldTable[byte]; }

// Inline: the INI parser compares names for every line it reads.
inline bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x != y && FoldCase(x) != FoldCase(y)) return false;
  }
  return true;
}

}  // namespace text
