#include "IniName.h"

#include <array>
#include <cstdint>

namespace {

constexpr std::array<unsigned char, 256> MakeFoldTable()
{
    std::array<unsigned char, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<unsigned char>(i);
    for (int c = 'A'; c <= 'Z'; ++c)
        table[c] = static_cast<unsigned char>(c + 0x20);
    // Accented capitals À..Þ sit 0x20 below their small letters, except × (0xD7) / ÷ (0xF7).
    for (int c = 0xC0; c <= 0xDE; ++c)
        if (c != 0xD7)
            table[c] = static_cast<unsigned char>(c + 0x20);
    table[0x8A] = 0x9A; // Š š
    table[0x8C] = 0x9C; // Œ œ
    table[0x8E] = 0x9E; // Ž ž
    table[0x9F] = 0xFF; // Ÿ ÿ
    return table;
}

constexpr std::array<unsigned char, 256> foldTable = MakeFoldTable();

} // namespace

unsigned char IniFoldCase(unsigned char byte)
{
    return foldTable[byte];
}

bool IniNamesEqual(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    if (a == b) // the usual case: the same spelling
        return true;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (foldTable[static_cast<unsigned char>(a[i])] != foldTable[static_cast<unsigned char>(b[i])])
            return false;
    return true;
}

std::size_t IniNameHash::operator()(std::string_view name) const
{
    // FNV-1a over the folded bytes, so names equal ignoring case hash alike.
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : name) {
        hash ^= foldTable[static_cast<unsigned char>(c)];
        hash *= 1099511628211ull;
    }
    return static_cast<std::size_t>(hash);
}
