// A session log on the owner's thread: 1,000,000 table lines of a reply
// arriving in 64 KiB pieces, each piece's lines stamped and written in one
// append. What the window's thread spends per line when a site keeps a log.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "SessionLog.h"

namespace {

void MillionLines(benchmark::State& state) {
  std::string piece;
  while (piece.size() < 65536 - 64) piece += "200- | alice      | staff    | 1:3   |  10240  | 0:01   |\r\n";
  const std::size_t perPiece = piece.size() / 62;
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("bench-sessionlog-" + std::to_string(::getpid()));
  for (auto _ : state) {
    SessionLog log(folder.string(), "bench@host");
    for (std::size_t lines = 0; lines < 1000000; lines += perPiece)
      if (!log.Add(piece)) state.SkipWithError(log.Failure().c_str());
    state.PauseTiming();
    std::filesystem::remove_all(folder);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * 1000000);
}

}  // namespace

BENCHMARK(MillionLines)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
