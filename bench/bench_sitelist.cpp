// The site list with many sites of one name: Read of a file of N sites all
// called "site" (each kept as "site (2)", "site (3)"...), and Import of that
// file into a list that holds it already. Run for 2,000 and 4,000 sites: the
// time should double, not grow eightfold as it did when each free name was
// searched for from "(2)" up through the whole list.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "SiteList.h"

namespace {

std::string SameNameFile(int sites) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("bench-sitelist-" + std::to_string(::getpid()) + "-" + std::to_string(sites) + ".conf"))
                               .string();
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < sites; ++i) out << "[site]\naddress=h" << i << ".example:21\nlogin=admin\n";
  return path;
}

void ReadSameNames(benchmark::State& state) {
  const std::string path = SameNameFile(static_cast<int>(state.range(0)));
  std::string error;
  for (auto _ : state) {
    SiteList list;
    if (!list.Read(path, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(list.Sites().data());
  }
  std::filesystem::remove(path);
}

void ImportSameNames(benchmark::State& state) {
  const std::string path = SameNameFile(static_cast<int>(state.range(0)));
  std::string error;
  SiteList base;
  if (!base.Read(path, error)) state.SkipWithError(error.c_str());
  for (auto _ : state) {
    SiteList list = base;
    if (!list.Import(path, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(list.Sites().data());
  }
  std::filesystem::remove(path);
}

BENCHMARK(ReadSameNames)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(ImportSameNames)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
