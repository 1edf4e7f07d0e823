// ps_map into real files through giza: a 3 x 3 map, the zoom's 121 x 121
// grid and a 1000 x 1000 map to PostScript, PNG, PDF and SVG, in grey and in
// colour (a palette and a range of its own: the *_colour cases), and in grey
// with ten contour lines (the *_contours cases).
// Runs in a fresh temporary folder; the " Output in " console line of each
// call is sent to /dev/null so that only the figures are printed.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "mapps/ps_map.h"

namespace {

struct Grid {
  std::vector<float> x, y, z;
  explicit Grid(int side) : x(side), y(side) {
    for (int i = 0; i < side; ++i) {
      x[i] = -2.0f + 3.0f * static_cast<float>(i) / static_cast<float>(side - 1);
      y[i] = -1.5f + 3.0f * static_cast<float>(i) / static_cast<float>(side - 1);
    }
    z.reserve(static_cast<std::size_t>(side) * side);
    for (float yj : y)
      for (float xi : x) z.push_back(std::sin(3 * xi) * std::cos(2 * yj) + xi * yj);
  }
};

// Standard output goes to /dev/null while it lives.
class Quiet {
 public:
  Quiet() : saved_(dup(1)) {
    std::fflush(stdout);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
  }
  ~Quiet() {
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
  }

 private:
  int saved_;
};

void BM_ps_map(benchmark::State& state, const char* file, const char* device) {
  const Grid g(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Quiet quiet;
    mapps::ps_map(g.x, g.y, g.z, std::nullopt, "Re(c)", "Im(c)", "Benchmark", file, device);
  }
  if (std::filesystem::exists(file))  // the null device writes none
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(file));
}

void BM_ps_map_colour(benchmark::State& state, const char* file, const char* device) {
  const Grid g(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Quiet quiet;
    mapps::ps_map(g.x, g.y, g.z,
                  {.xlabel = "Re(c)", .ylabel = "Im(c)", .title = "Benchmark", .file = file,
                   .device = device, .palette = "viridis", .zmin = -3, .zmax = 3});
  }
  if (std::filesystem::exists(file))  // the null device writes none
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(file));
}

// Ten contour lines over the grey map: what they cost beside BM_ps_map.
void BM_ps_map_contours(benchmark::State& state, const char* file, const char* device) {
  const Grid g(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Quiet quiet;
    mapps::ps_map(g.x, g.y, g.z,
                  {.xlabel = "Re(c)", .ylabel = "Im(c)", .title = "Benchmark", .file = file,
                   .device = device, .contours = 10});
  }
  if (std::filesystem::exists(file))  // the null device writes none
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(file));
}

BENCHMARK_CAPTURE(BM_ps_map, ps, "Map.ps", "ps")->Arg(3)->Arg(121)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ps_map, png, "Map.png", "png")->Arg(3)->Arg(121)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ps_map, pdf, "Map.pdf", "pdf")->Arg(3)->Arg(121)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ps_map, svg, "Map.svg", "svg")->Arg(3)->Arg(121)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ps_map_colour, ps, "Map.ps", "ps")->Arg(3)->Arg(121)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ps_map_colour, png, "Map.png", "png")->Arg(3)->Arg(121)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ps_map_colour, pdf, "Map.pdf", "pdf")->Arg(3)->Arg(121)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ps_map_colour, svg, "Map.svg", "svg")->Arg(3)->Arg(121)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ps_map, null, "none", "null")->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ps_map_contours, null, "none", "null")->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ps_map_contours, ps, "Map.ps", "ps")->Arg(121)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ps_map_contours, png, "Map.png", "png")->Arg(121)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ps_map_contours, pdf, "Map.pdf", "pdf")->Arg(121)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ps_map_contours, svg, "Map.svg", "svg")->Arg(121)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  char pattern[] = "/tmp/ps_map_benchmark.XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (dir == nullptr) return 1;
  const auto home = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::current_path(home);
  std::filesystem::remove_all(dir);
  return 0;
}
