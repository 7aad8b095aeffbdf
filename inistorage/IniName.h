#pragma once

// Block and key names compare ignoring letter case over Windows-1252:
// ASCII letters and the code page's accented letters fold to lower case.

#include <cstddef>
#include <string_view>

#include "CaseFold.h"

// The lower-case partner of a Windows-1252 byte; bytes without one map to themselves.
inline unsigned char IniFoldCase(unsigned char byte) { return text::FoldCase(byte); }

inline bool IniNamesEqual(std::string_view a, std::string_view b) { return text::EqualIgnoringCase(a, b); }

struct IniNameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const;
};

struct IniNameEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return IniNamesEqual(a, b); }
};
