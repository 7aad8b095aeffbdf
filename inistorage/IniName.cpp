#include "IniName.h"

#include <cstdint>

std::size_t IniNameHash::operator()(std::string_view name) const {
  // FNV-1a over the folded bytes, so names equal ignoring case hash alike.
  std::uint64_t hash = 14695981039346656037ull;
  for (char c : name) {
    hash ^= IniFoldCase(static_cast<unsigned char>(c));
    hash *= 1099511628211ull;
  }
  return static_cast<std::size_t>(hash);
}
