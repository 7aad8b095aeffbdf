#pragma once

// An ordered list of named items (blocks of a storage, keys of a block):
// lookup by name ignoring case, positions counted from 0 in order of
// appending, erasing moves the items behind one place up.
//
// Reading a file in ReplaceKeys erases a key and appends it again for every
// repeated key line; on a plain vector that costs O(n) each, and a big block
// read in a cycle would take quadratic time. So an erased item leaves a hole
// (an item with an empty name: real names are never empty), holes are
// squeezed out once they outnumber the items, and while there are holes a
// Fenwick tree over the m_items turns positions into m_items and back in O(log n).
// Short lists are scanned; from `hashFrom` m_items on a hash index finds names.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "IniName.h"

template <typename Item>
class IniNamedList {
 public:
  static constexpr std::size_t hashFrom = 16;

  std::size_t Size() const { return m_items.size() - holes; }

  // Position of the item of that name, or -1.
  int Find(std::string_view name) const {
    const std::size_t slot = FindSlot(name);
    return slot == npos ? -1 : static_cast<int>(PositionOf(slot));
  }

  const Item* Get(std::string_view name) const {
    const std::size_t slot = FindSlot(name);
    return slot == npos ? nullptr : &m_items[slot];
  }

  // As Get, trying the item found last first: building goes to the same
  // block and key many times in a row.
  Item* GetToChange(std::string_view name) {
    if (recent < m_items.size() && !name.empty() && IniNamesEqual(m_items[recent].name, name)) return &m_items[recent];
    const std::size_t slot = FindSlot(name);
    if (slot == npos) return nullptr;
    recent = slot;
    return &m_items[slot];
  }

  // The item at a position below Size().
  const Item& At(std::size_t position) const { return m_items[SlotOf(position)]; }
  Item& At(std::size_t position) { return m_items[SlotOf(position)]; }

  // The item's name must be new and not empty.
  Item& Append(Item item) {
    m_items.push_back(std::move(item));
    try {
      if (!liveTree.empty()) GrowTree(1);
      if (!slotByName.empty())
        slotByName.emplace(m_items.back().name, m_items.size() - 1);
      else if (m_items.size() >= hashFrom)
        IndexAll();
    } catch (...) {
      m_items.pop_back();
      Compact();
      throw;
    }
    recent = m_items.size() - 1;
    return m_items.back();
  }

  // False when there is no item of that name.
  bool Erase(std::string_view name) {
    const std::size_t slot = FindSlot(name);
    if (slot == npos) return false;
    if (!slotByName.empty()) slotByName.erase(m_items[slot].name);
    if (slot + 1 == m_items.size()) {
      m_items.pop_back();  // the tree's entries for earlier m_items don't depend on the last one
      if (!liveTree.empty()) liveTree.pop_back();
    } else {
      if (liveTree.empty()) BuildTree();
      m_items[slot] = Item{};
      ++holes;
      for (std::size_t i = slot + 1; i <= liveTree.size(); i += i & (~i + 1)) --liveTree[i - 1];
    }
    while (!m_items.empty() && m_items.back().name.empty()) {
      m_items.pop_back();
      liveTree.pop_back();
      --holes;
    }
    if (holes == 0)
      liveTree.clear();
    else if (holes > Size())
      Compact();
    return true;
  }

  // Calls visit(item) for each item in order.
  template <typename Visit>
  void ForEach(Visit visit) const {
    for (const Item& item : m_items)
      if (!item.name.empty()) visit(item);
  }

  friend bool operator==(const IniNamedList& a, const IniNamedList& b) {
    if (a.Size() != b.Size()) return false;
    std::size_t j = 0;
    for (const Item& item : a.m_items) {
      if (item.name.empty()) continue;
      while (b.m_items[j].name.empty()) ++j;
      if (!(item == b.m_items[j++])) return false;
    }
    return true;
  }

 private:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  std::size_t FindSlot(std::string_view name) const {
    if (name.empty()) return npos;
    if (slotByName.empty()) {
      for (std::size_t i = 0; i < m_items.size(); ++i)
        if (IniNamesEqual(m_items[i].name, name)) return i;
      return npos;
    }
    const auto it = slotByName.find(name);
    return it == slotByName.end() ? npos : it->second;
  }

  // Items before the slot.
  std::size_t PositionOf(std::size_t slot) const {
    if (holes == 0) return slot;
    std::size_t live = 0;
    for (std::size_t i = slot; i > 0; i -= i & (~i + 1)) live += liveTree[i - 1];
    return live;
  }

  // The slot of the item at a position (< Size()).
  std::size_t SlotOf(std::size_t position) const {
    if (holes == 0) return position;
    std::size_t slot = 0;  // descends the tree: the last slot with at most `position` items up to it
    std::size_t step = 1;
    while (step * 2 <= liveTree.size()) step *= 2;
    for (; step > 0; step /= 2)
      if (slot + step <= liveTree.size() && liveTree[slot + step - 1] <= position) {
        slot += step;
        position -= liveTree[slot - 1];
      }
    return slot;
  }

  void GrowTree(std::uint32_t live) {
    const std::size_t i = liveTree.size() + 1;  // 1-based index of the new entry
    std::uint32_t sum = live;
    for (std::size_t j = i - 1, low = i - (i & (~i + 1)); j > low; j -= j & (~j + 1)) sum += liveTree[j - 1];
    liveTree.push_back(sum);
  }

  void BuildTree() {
    liveTree.clear();
    liveTree.reserve(m_items.size());
    for (const Item& item : m_items) GrowTree(item.name.empty() ? 0 : 1);
  }

  void IndexAll() {
    slotByName.clear();
    slotByName.reserve(m_items.size());
    for (std::size_t i = 0; i < m_items.size(); ++i)
      if (!m_items[i].name.empty()) slotByName.emplace(m_items[i].name, i);
  }

  void Compact() {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_items.size(); ++i)
      if (!m_items[i].name.empty()) {
        if (kept != i) m_items[kept] = std::move(m_items[i]);
        ++kept;
      }
    m_items.resize(kept);
    holes = 0;
    liveTree.clear();
    slotByName.clear();
    if (m_items.size() >= hashFrom) IndexAll();
  }

  std::vector<Item> m_items;  // not "slots": Qt defines that word as a macro
  std::size_t holes = 0;
  std::vector<std::uint32_t> liveTree;  // slot-wise; empty while there are no holes
  std::unordered_map<std::string, std::size_t, IniNameHash, IniNameEqual> slotByName;  // empty while scanned
  std::size_t recent = 0;
};
