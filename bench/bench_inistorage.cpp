// Reading speed of IniFile: a generated file of N blocks x 12 keys x 3 values
// read into an empty storage in ReplaceKeys, for 1,000 and 10,000 blocks.
// Prints the two medians and their ratio, which stays near 10 while lookups
// cost O(1); a scanning lookup would make it near 100.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "IniFile.h"
#include "IniStorage.h"

namespace {

constexpr int smallBlocks = 1000;
constexpr int largeBlocks = 10000;

struct GeneratedFiles {
  std::filesystem::path folder =
      std::filesystem::temp_directory_path() / (std::string("bench-inistorage-") + std::to_string(::getpid()));
  std::map<int, std::string> paths;

  GeneratedFiles() { std::filesystem::create_directories(folder); }
  ~GeneratedFiles() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }

  // A command-list-like file: a header per block and a comment now and
  // then, then key lines with three values each, the first key's quoted.
  const std::string& For(int blocks) {
    auto [it, added] = paths.try_emplace(blocks);
    if (!added) return it->second;
    it->second = (folder / (std::string("blocks-") + std::to_string(blocks) + ".ini")).string();
    std::ofstream out(it->second, std::ios::binary);
    char line[96];
    for (int b = 0; b < blocks; ++b) {
      if (b % 10 == 0) out << "; commands " << b << " and on\n";
      std::snprintf(line, sizeof line, "[cmd%05d]\n", b);
      out << line;
      for (int k = 0; k < 12; ++k) {
        const char* format = k == 0 ? "k%d = \"%d, %d\", w%d\n" : "k%d = %d, w%d, x%d\n";
        std::snprintf(line, sizeof line, format, k, b % 97, k, b % 89);
        out << line;
      }
      out << '\n';
    }
    return it->second;
  }
};

GeneratedFiles& Files() {
  static GeneratedFiles files;
  return files;
}

void BM_ReadReplaceKeys(benchmark::State& state) {
  const std::string& path = Files().For(static_cast<int>(state.range(0)));
  IniFile file;
  std::optional<IniStorage> storage;
  for (auto _ : state) {
    storage.emplace();
    file.Read(path, &*storage, IniFile::ReplaceKeys);
    benchmark::DoNotOptimize(storage->GetBlockCount());
    state.PauseTiming();
    storage.reset();
    state.ResumeTiming();
  }
  state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
}
BENCHMARK(BM_ReadReplaceKeys)
    ->Arg(smallBlocks)
    ->Arg(largeBlocks)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

// One block whose keys all come twice, in the same order: every repeated key
// line moves a key from the front of the block to its end. Stays linear.
void BM_ReadRepeatedKeys(benchmark::State& state) {
  const int keys = static_cast<int>(state.range(0));
  const std::string path = (Files().folder / (std::string("repeated-") + std::to_string(keys) + ".ini")).string();
  {
    std::ofstream out(path, std::ios::binary);
    out << "[block]\n";
    for (int round = 0; round < 2; ++round)
      for (int k = 0; k < keys; ++k) out << "key" << k << " = " << round << '\n';
  }
  IniFile file;
  for (auto _ : state) {
    IniStorage storage;
    file.Read(path, &storage, IniFile::ReplaceKeys);
    benchmark::DoNotOptimize(storage.GetKeyCount("block"));
  }
}
BENCHMARK(BM_ReadRepeatedKeys)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Writing the large storage back, for comparison.
void BM_Write(benchmark::State& state) {
  IniStorage storage;
  IniFile file;
  file.Read(Files().For(largeBlocks), &storage, IniFile::ReplaceKeys);
  const std::string out = (Files().folder / "written.ini").string();
  for (auto _ : state) file.Write(out, &storage);
}
BENCHMARK(BM_Write)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);

// Keeps the console output and picks out the read medians.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, std::pair<double, double>> medians;  // argument -> real and CPU milliseconds

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_name.function_name == "BM_ReadReplaceKeys" && run.aggregate_name == "median")
        medians[run.run_name.args] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto small = reporter.medians.find(std::to_string(smallBlocks));
  const auto large = reporter.medians.find(std::to_string(largeBlocks));
  if (small == reporter.medians.end() || large == reporter.medians.end()) return 0;  // filtered out
  const auto [smallReal, smallCpu] = small->second;
  const auto [largeReal, largeCpu] = large->second;
  std::printf("\nReplaceKeys read of %.2f MB (%d blocks), median of 15:\n",
              static_cast<double>(std::filesystem::file_size(Files().For(largeBlocks))) / 1e6, largeBlocks);
  std::printf("  real time: %d blocks %.2f ms, %d blocks %.2f ms, ratio %.2f\n", smallBlocks, smallReal, largeBlocks,
              largeReal, largeReal / smallReal);
  std::printf("  CPU time:  %d blocks %.2f ms, %d blocks %.2f ms, ratio %.2f\n", smallBlocks, smallCpu, largeBlocks,
              largeCpu, largeCpu / smallCpu);
  return 0;
}
