// The zoom's 350 frames with the reference loop and with the fast kernel.
//
// Each benchmark iteration computes every frame (geometry, x, y and the escape
// grid) on one thread. The fast kernel is measured through its run-time choice
// and through each implementation the processor supports.
//
// The last line printed gives the ratio of the reference time to the fast time,
// measured side by side: each frame is computed by one kernel, then by the
// other, in a few passes over the 350 frames. Each kernel's time for a frame
// is the least processor time (of this thread: the machine is shared, so
// wall-clock time would count other programs' work too) it took in any pass,
// and the frames' times are summed. A change of speed of a shared machine then
// slows both kernels alike, and a frame slowed by a busy neighbour in one pass
// counts with its time from another.

#include <benchmark/benchmark.h>

#include <ctime>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/escape.h"
#include "driver/zoom.h"

namespace {

double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

template <class Compute>
void run_frames(benchmark::State& state, Compute compute) {
  driver::ZoomGrid grid;
  for (auto _ : state) {
    for (int k = 1; k <= driver::kFrameCount; ++k) compute(k, grid);
    benchmark::DoNotOptimize(grid.z_data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * driver::kFrameCount);
}

void BM_zoom_reference(benchmark::State& state) {
  run_frames(state, [](int k, driver::ZoomGrid& grid) {
    driver::fill_frame(k, grid, driver::Kernel::reference);
  });
}
BENCHMARK(BM_zoom_reference)->Unit(benchmark::kMillisecond);

void BM_zoom_fast(benchmark::State& state) {
  run_frames(state, [](int k, driver::ZoomGrid& grid) {
    driver::fill_frame(k, grid, driver::Kernel::fast);
  });
}
BENCHMARK(BM_zoom_fast)->Unit(benchmark::kMillisecond);

// One implementation of the fast kernel; skipped where the processor lacks it.
void BM_zoom_path(benchmark::State& state) {
  const auto path = static_cast<driver::FastPath>(state.range(0));
  if (!driver::fast_path_supported(path)) {
    state.SkipWithError("not supported by this processor");
    for (auto _ : state) {
    }
    return;
  }
  state.SetLabel(std::string(driver::fast_path_name(path)));
  run_frames(state, [path](int k, driver::ZoomGrid& grid) {
               const driver::FrameGeometry g = driver::frame_geometry(k);
               for (int i = -driver::kHalfSide; i <= driver::kHalfSide; ++i) {
                 grid.x(i) = driver::grid_coordinate(i, g.r, g.xc);
                 grid.y(i) = driver::grid_coordinate(i, g.r, g.yc);
               }
               driver::escape_grid(path, grid.x_data(), driver::kSide, grid.y_data(),
                                   driver::kSide, g.limit, grid.z_data());
             });
}
BENCHMARK(BM_zoom_path)
    ->Arg(static_cast<int>(driver::FastPath::portable))
    ->Arg(static_cast<int>(driver::FastPath::avx2))
    ->Arg(static_cast<int>(driver::FastPath::avx512))
    ->Unit(benchmark::kMillisecond);

// Seconds of processor time for all frames with each kernel, side by side.
struct SideBySide {
  double reference = 0.0;
  double fast = 0.0;
};

SideBySide side_by_side(int passes) {
  driver::ZoomGrid grid;
  std::vector<double> reference(driver::kFrameCount + 1, 1e300);
  std::vector<double> fast(driver::kFrameCount + 1, 1e300);
  for (int pass = 0; pass < passes; ++pass) {
    for (int k = 1; k <= driver::kFrameCount; ++k) {
      double start = thread_seconds();
      driver::fill_frame(k, grid, driver::Kernel::reference);
      reference[k] = std::min(reference[k], thread_seconds() - start);
      start = thread_seconds();
      driver::fill_frame(k, grid, driver::Kernel::fast);
      fast[k] = std::min(fast[k], thread_seconds() - start);
    }
  }
  SideBySide total;
  for (int k = 1; k <= driver::kFrameCount; ++k) {
    total.reference += reference[k];
    total.fast += fast[k];
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  constexpr int kPasses = 4;
  const SideBySide best = side_by_side(kPasses);
  std::printf(
      "350 frames side by side, processor time, each frame's best of %d passes: "
      "reference %.1f ms, fast (%s) %.1f ms, ratio reference/fast %.2f\n",
      kPasses, best.reference * 1e3, std::string(driver::fast_path_name(driver::fast_path())).c_str(),
      best.fast * 1e3, best.reference / best.fast);
  return 0;
}
