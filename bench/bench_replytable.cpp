// Finding the table of a reply of N rows, framed ("| a | b |") and aligned
// under a header, and sorting it by a numeric column. Run for 100,000 and
// 200,000 rows: the time should double, not grow fourfold.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "ReplyTable.h"

namespace {

std::string Reply(int rows, bool framed) {
  std::string text = framed ? "200- | User | Group | Up (MB) | Idle |\n200- |------+-------+---------+------|\n"
                            : "200- User      Group     Up (MB)  Idle\n200- --------  --------  -------  -----\n";
  char line[128];
  for (int i = 0; i < rows; ++i) {
    const char* format = framed ? "200- | u%07d | g%03d | %7d | %d:%02d |\n" : "200- u%07d  g%03d      %7d  %d:%02d\n";
    std::snprintf(line, sizeof line, format, i, i % 100, (i * 7919) % 1000000, i % 60, i % 60);
    text += line;
  }
  return text + "200 Command Successful.\n";
}

std::vector<std::string_view> Lines(const std::string& text) {
  std::vector<std::string_view> lines;
  std::string_view rest(text);
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    lines.push_back(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  return lines;
}

void Find(benchmark::State& state, bool framed) {
  const std::string text = Reply(static_cast<int>(state.range(0)), framed);
  const std::vector<std::string_view> lines = Lines(text);
  for (auto _ : state) {
    const auto table = FindTable(ReplyBodies(lines));
    if (!table || table->rows.size() != static_cast<std::size_t>(state.range(0))) state.SkipWithError("no table");
    benchmark::DoNotOptimize(table->rows.data());
  }
}

void FindFramed(benchmark::State& state) { Find(state, true); }
void FindAligned(benchmark::State& state) { Find(state, false); }

void SortByNumber(benchmark::State& state) {
  const std::string text = Reply(static_cast<int>(state.range(0)), true);
  const ReplyTable table = *FindTable(ReplyBodies(Lines(text)));
  const bool numeric = IsNumericColumn(table, 2);
  for (auto _ : state) {
    std::vector<std::size_t> order(table.rows.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return CompareCells(table.rows[a][2], table.rows[b][2], numeric) < 0;
    });
    benchmark::DoNotOptimize(order.data());
  }
}

}  // namespace

BENCHMARK(FindFramed)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(FindAligned)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(SortByNumber)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
