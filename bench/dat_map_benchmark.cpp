// A million value lines through dat_map against a plain fprintf loop over the
// same values, in one run; prints lines per second for both.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "mapdata/dat_map.h"

namespace {

constexpr int kSide = 1000;

struct Grid {
  std::vector<float> x, y, z;
  Grid() : x(kSide), y(kSide), z(kSide * kSide) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> value(-1e3f, 1e3f);
    for (int i = 0; i < kSide; ++i) x[i] = y[i] = static_cast<float>(i) / 7;
    for (float& v : z) v = value(gen);
  }
};

const Grid& grid() {
  static const Grid g;
  return g;
}

// Header, x and y lines, values, three texts.
double lines() { return 1.0 + 2.0 * kSide + double(kSide) * kSide + 3; }

void BM_dat_map(benchmark::State& state) {
  const Grid& g = grid();
  // The " Output in " console line goes to standard output once per call.
  for (auto _ : state) mapdata::dat_map(g.x, g.y, g.z, 0, "x", "y", "bench", "bench_map.dat");
  state.counters["lines_per_second"] =
      benchmark::Counter(lines() * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

void BM_fprintf(benchmark::State& state) {
  const Grid& g = grid();
  for (auto _ : state) {
    std::FILE* f = std::fopen("bench_printf.dat", "wb");
    std::fprintf(f, "%12d%12d%12d\r\n", kSide, kSide, 1);
    for (float v : g.x) std::fprintf(f, "%15.7E\r\n", v);
    for (float v : g.y) std::fprintf(f, "%15.7E\r\n", v);
    for (float v : g.z) std::fprintf(f, "%15.7E\r\n", v);
    std::fprintf(f, " x\r\n y\r\n bench\r\n");
    std::fclose(f);
  }
  state.counters["lines_per_second"] =
      benchmark::Counter(lines() * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

BENCHMARK(BM_dat_map)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_fprintf)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  char folder[] = "/tmp/dat_map_bench.XXXXXX";
  if (!mkdtemp(folder) || chdir(folder) != 0) return 1;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove("bench_map.dat");
  std::remove("bench_printf.dat");
  rmdir(folder);
  return 0;
}
