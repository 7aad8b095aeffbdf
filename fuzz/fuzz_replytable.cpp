// libFuzzer target for finding a table in a reply: the input's lines, as a
// reply gives them, must give a table whose every row is as wide as its
// columns, or none; sorting each column must give an order (no cell before
// itself, none both before and after another).

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "ReplyTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  const auto table = FindTable(ReplyBodies(lines));
  if (!table) return 0;
  if (table->columns.size() < 2) std::abort();
  for (std::size_t c = 0; c < table->columns.size(); ++c) {
    const bool numeric = IsNumericColumn(*table, c);
    for (const auto& row : table->rows) {
      if (row.size() != table->columns.size()) std::abort();
      const auto& first = table->rows.front()[c];
      if (CompareCells(row[c], row[c], numeric) != 0) std::abort();
      if ((CompareCells(row[c], first, numeric) < 0) != (CompareCells(first, row[c], numeric) > 0)) std::abort();
    }
  }
  return 0;
}
