#pragma once

// Block and key names compare ignoring letter case over Windows-1252:
// ASCII letters and the code page's accented letters fold to lower case.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

// The lower-case partner of a Windows-1252 byte; bytes without one map to themselves.
unsigned char IniFoldCase(unsigned char byte);

bool IniNamesEqual(std::string_view a, std::string_view b);

struct IniNameHash {
    std::size_t operator()(std::string_view name) const;
};

struct IniNameEqual {
    bool operator()(std::string_view a, std::string_view b) const { return IniNamesEqual(a, b); }
};

// Name (as spelled) -> position in the owning vector, looked up ignoring case.
using IniNameIndex = std::unordered_map<std::string, std::size_t, IniNameHash, IniNameEqual>;
