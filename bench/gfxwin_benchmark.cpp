// One zoom frame's worth of painting: 14 641 filled rectangles in window
// coordinates, each after a change of the RGB colour, through the graphics
// operations into a window unit's surface (as the screen map paints its
// 121 x 121 cells on the small area's viewport).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "gfxwin/graphics.h"
#include "gfxwin/graphics_testing.h"

namespace {

constexpr int kCells = 121;

void BM_zoom_frame_cells(benchmark::State& state) {
  gfxwin::reset_for_tests();
  gfxwin::open_unit(101, "USER", "Mandelbrot set", "UNKNOWN");
  gfxwin::activate_unit(101);
  gfxwin::set_viewport(4, 4, 577, 266);
  const double x1 = -1.9, x2 = 1.9, y1 = -1.8, y2 = 2.0;
  gfxwin::set_window_coords(true, x1, y1, x1 + (x2 - x1) * 573 / 263, y2);

  // Cell edges half-way between the grid points, as the screen map has them.
  std::vector<double> a(kCells + 1), b(kCells + 1);
  for (int i = 0; i <= kCells; ++i) {
    a[static_cast<std::size_t>(i)] = x1 + (x2 - x1) * i / kCells;
    b[static_cast<std::size_t>(i)] = y1 + (y2 - y1) * i / kCells;
  }
  std::int32_t level = 0;
  for (auto _ : state) {
    for (std::size_t j = 0; j < kCells; ++j)
      for (std::size_t i = 0; i < kCells; ++i) {
        level = (level + 37) & 0xFF;
        gfxwin::set_rgb_color(level * 65793);
        gfxwin::rectangle_w(gfxwin::kFillInterior, a[i], b[j], a[i + 1], b[j + 1]);
      }
  }
  state.SetItemsProcessed(state.iterations() * kCells * kCells);
  state.SetLabel("one frame = 14641 colour changes and filled rectangles");
}
BENCHMARK(BM_zoom_frame_cells)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
