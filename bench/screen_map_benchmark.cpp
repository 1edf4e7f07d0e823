// The screen map's cost: one zoom frame through scr_map_2d, a 2000 x 2000
// map (each also in colour: a palette and a range of its own, *_colour), what that map hands its
// window for the values under the cursor, and the whole 350-frame zoom (computing, painting and
// console lines)
// against the reference escape loop alone over the same frames. The last
// line gives that ratio, from the same run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "bench/quietly.h"
#include "driver/escape.h"
#include "driver/zoom.h"
#include "driver/zoom_main.h"
#include "gfxwin/graphics.h"
#include "gfxwin/graphics_testing.h"
#include "mapscreen/painted_values.h"
#include "mapscreen/screen_map.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The options of a colour map: a palette and a range of its own.
mapscreen::ScreenMapOptions in_colour(mapscreen::ScreenMapOptions o) {
  o.palette = "viridis";
  o.zmin = 0;
  o.zmax = 200;
  return o;
}

void BM_zoom_frame(benchmark::State& state, bool colour) {
  gfxwin::reset_for_tests();
  driver::ZoomGrid grid;
  driver::fill_frame(200, grid, driver::Kernel::fast);
  const auto show = [&](int flag) {
    mapscreen::ScreenMapOptions o = {.xlabel = "Re(c)", .ylabel = "Im(c)",
                                     .title = "Mandelbrot set", .size = 1, .own_window = -1,
                                     .continuation = flag};
    mapscreen::scr_map_2d(grid.x_view(), grid.y_view(), grid.z_view(), colour ? in_colour(o) : o);
  };
  show(0);
  for (auto _ : state) show(-1);
}

void BM_map_2000(benchmark::State& state, bool colour) {
  gfxwin::reset_for_tests();
  const int n = 2000;
  std::vector<double> x(n), y(n), z(std::size_t{n} * n);
  for (int i = 0; i < n; ++i) x[i] = y[i] = i * 0.001;
  std::vector<double> values(z.size());
  for (std::size_t k = 0; k < z.size(); ++k) values[k] = std::sin(static_cast<double>(k) * 1e-3);
  const auto options = [colour](int flag) {
    const mapscreen::ScreenMapOptions o = {
        .log = 0, .xlabel = "x", .ylabel = "y", .title = "big", .size = 3, .own_window = -1,
        .continuation = flag};
    if (!colour) return o;
    mapscreen::ScreenMapOptions c = in_colour(o);
    c.zmin = -1;
    c.zmax = 1;
    return c;
  };
  mapscreen::scr_map(x, y, z = values, options(0));
  for (auto _ : state) {
    state.PauseTiming();
    z = values;  // the base form rescales z in place
    state.ResumeTiming();
    mapscreen::scr_map(x, y, z, options(-1));
  }
}

// The part of BM_map_2000 that takes the values for the readout: the cells
// painted last on each pixel and their x, y and z.
void BM_map_2000_values(benchmark::State& state) {
  gfxwin::reset_for_tests();
  const int n = 2000;
  std::vector<double> x(n), y(n), z(std::size_t{n} * n);
  for (int i = 0; i < n; ++i) x[i] = y[i] = i * 0.001;
  for (std::size_t k = 0; k < z.size(); ++k) z[k] = std::sin(static_cast<double>(k) * 1e-3);
  std::vector<double> scratch = z;
  mapscreen::scr_map(x, y, scratch, 0, "x", "y", "big", 3, -1, 0);  // the window and its scale
  std::vector<double> a(n), b(n);
  for (int i = 0; i + 1 < n; ++i) a[i] = b[i] = (x[i] + x[i + 1]) * 0.5;
  a[n - 1] = b[n - 1] = x[n - 1];
  for (auto _ : state) benchmark::DoNotOptimize(mapscreen::painted_values(x, y, z, a, b, false, false));
}

BENCHMARK(BM_map_2000_values)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_zoom_frame, grey, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_zoom_frame, colour, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_map_2000, grey, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_map_2000, colour, true)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  // The whole zoom against the reference loop alone, best of three each.
  double whole = 1e300, reference = 1e300;
  for (int pass = 0; pass < 3; ++pass) {
    gfxwin::reset_for_tests();
    mapscreen::screen_map_state() = {};
    auto start = std::chrono::steady_clock::now();
    quietly([] { driver::run_zoom(); });
    whole = std::min(whole, seconds_since(start));

    driver::ZoomGrid grid;
    start = std::chrono::steady_clock::now();
    for (int k = 1; k <= driver::kFrameCount; ++k)
      driver::fill_frame(k, grid, driver::Kernel::reference);
    reference = std::min(reference, seconds_since(start));
  }
  std::printf("whole zoom %.0f ms, reference escape loop alone %.0f ms, ratio %.2f\n",
              whole * 1e3, reference * 1e3, whole / reference);
}
