#pragma once

// Block and key names compare ignoring letter case over Windows-1252:
// ASCII letters and the code page's accented letters fold to lower case.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

// The lower-case partner of a Windows-1252 byte; bytes without one map to themselves.
unsigned char IniFoldCase(unsigned char byte);

bool IniNamesEqual(std::string_view a, std::string_view b);

struct IniNameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const;
};

struct IniNameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return IniNamesEqual(a, b); }
};

// Finds items by name in a vector of items that have a `name` member, and
// keeps the vector in step when items are appended or erased. Short vectors
// are scanned; from `hashFrom` items on, a hash index from name to position
// is kept. Either way the answer is the position of the (only) item of that name.
class IniNameLookup {
public:
    static constexpr std::size_t hashFrom = 16;

    template <typename Items>
    int Find(const Items& items, std::string_view name) const
    {
        if (positions.empty()) {
            for (std::size_t i = 0; i < items.size(); ++i)
                if (IniNamesEqual(items[i].name, name))
                    return static_cast<int>(i);
            return -1;
        }
        const auto it = positions.find(name);
        return it == positions.end() ? -1 : static_cast<int>(it->second);
    }

    template <typename Items, typename Item>
    void Append(Items& items, Item&& item)
    {
        if (items.capacity() == 0)
            items.reserve(8); // skips the first few regrowths of small blocks
        items.push_back(std::forward<Item>(item));
        try {
            if (!positions.empty())
                positions.emplace(items.back().name, items.size() - 1);
            else if (items.size() >= hashFrom)
                for (std::size_t i = 0; i < items.size(); ++i)
                    positions.emplace(items[i].name, i);
        } catch (...) {
            items.pop_back();
            positions.clear();
            throw;
        }
    }

    template <typename Items>
    void Erase(Items& items, std::size_t position)
    {
        if (!positions.empty())
            positions.erase(items[position].name);
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(position));
        if (!positions.empty())
            for (std::size_t i = position; i < items.size(); ++i)
                positions.find(items[i].name)->second = i;
    }

    void Clear() { positions.clear(); }

private:
    // Empty while the items are scanned; otherwise it holds every item.
    std::unordered_map<std::string, std::size_t, IniNameHash, IniNameEqual> positions;
};
