// The zoom's frames: geometry, the grid and its views, and the fast kernel
// giving the reference loop's grid bit for bit on every frame.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/escape.h"
#include "driver/zoom.h"

namespace driver {
namespace {

// FNV-1a over the bits of x, y and z.
std::uint64_t grid_hash(const ZoomGrid& grid) {
  std::uint64_t h = 14695981039346656037ull;
  auto add = [&h](const float* p, int n) {
    for (int q = 0; q < n; ++q) {
      std::uint32_t bits = std::bit_cast<std::uint32_t>(p[q]);
      for (int b = 0; b < 4; ++b, bits >>= 8) {
        h ^= bits & 0xFFu;
        h *= 1099511628211ull;
      }
    }
  };
  add(grid.x_data(), kSide);
  add(grid.y_data(), kSide);
  add(grid.z_data(), kPointCount);
  return h;
}

TEST(ZoomGeometry, FirstAndLastFrames) {
  const FrameGeometry first = frame_geometry(1);
  EXPECT_EQ(first.p, static_cast<double>(0.95f));
  EXPECT_EQ(first.r, 1.9f);
  EXPECT_EQ(first.limit, 37);
  EXPECT_NEAR(first.xc, -0.00418, 5e-6);
  EXPECT_NEAR(first.yc, 0.0965, 5e-5);

  const FrameGeometry last = frame_geometry(350);
  EXPECT_EQ(last.limit, 395);
  EXPECT_NEAR(last.p, 1.6e-8, 0.01e-8);
  EXPECT_NEAR(last.xc, -0.04288163, 1e-8);
  EXPECT_NEAR(last.yc, 0.98979723, 1e-7);

  // p by repeated squaring stays within a few roundings of the power; N rises by
  // one or two a frame.
  int previous = 35;
  for (int k = 1; k <= kFrameCount; ++k) {
    const FrameGeometry g = frame_geometry(k);
    const double power = std::pow(static_cast<double>(0.95f), k);
    EXPECT_NEAR(g.p / power, 1.0, 1e-14) << k;
    EXPECT_EQ(g.r, static_cast<float>(2.0 * g.p)) << k;
    // The limit comes from the stored single-precision ray; the unrounded 2 p gives
    // the same on every frame (no frame lies near an integer).
    EXPECT_EQ(g.limit, static_cast<int>(std::ceil(35.0 - 20.0 * std::log(g.p)))) << k;
    EXPECT_GE(g.limit - previous, 1) << k;
    EXPECT_LE(g.limit - previous, 2) << k;
    previous = g.limit;
  }
}

TEST(ZoomFrame, FirstFrameGridAndViews) {
  ZoomGrid grid;
  const float* z_storage = grid.z_data();
  const FrameGeometry g = fill_frame(1, grid, Kernel::fast);

  EXPECT_NEAR(grid.x(-60), -1.904, 0.001);
  EXPECT_NEAR(grid.x(60), 1.896, 0.001);
  EXPECT_NEAR(grid.y(-60), -1.804, 0.001);
  EXPECT_NEAR(grid.y(60), 1.996, 0.001);
  EXPECT_EQ(grid.x(0), g.xc);
  EXPECT_EQ(grid.y(0), g.yc);
  EXPECT_EQ(grid.x(30), static_cast<float>(30.0 * 1.9f / 60.0 + g.xc));

  // The centre is inside the set and gets N + 1, the largest value of the frame;
  // the corner c = (-1.904, -1.804) has w2 about (-1.53, 5.07), w3 about
  // (-25.2, -17.3) and |w4| near 900: it leaves on w4 and gets 1, as do the
  // other corners; nothing on this frame leaves earlier.
  EXPECT_EQ(grid.z(0, 0), 38.0f);
  EXPECT_EQ(grid.z(-60, -60), 1.0f);
  EXPECT_EQ(grid.z(60, 60), 1.0f);
  float lowest = 1e9f, highest = -1e9f;
  for (int q = 0; q < kPointCount; ++q) {
    lowest = std::min(lowest, grid.z_data()[q]);
    highest = std::max(highest, grid.z_data()[q]);
  }
  EXPECT_EQ(highest, 38.0f);
  EXPECT_EQ(lowest, 1.0f);

  // First index along the real axis, fastest in storage.
  EXPECT_EQ(&grid.z(-59, -60), grid.z_data() + 1);
  EXPECT_EQ(&grid.z(-60, -59), grid.z_data() + kSide);
  EXPECT_EQ(grid.z(60, -60), escape_value_reference(grid.x(60), grid.y(-60), 37));

  const maparg::VecView<float> x = grid.x_view();
  const maparg::VecView<float> y = grid.y_view();
  const maparg::MatView<float> z = grid.z_view();
  EXPECT_EQ(x.size(), 121);
  EXPECT_EQ(x.lower(), -60);
  EXPECT_EQ(x.upper(), 60);
  EXPECT_EQ(&x(-60), &grid.x(-60));
  EXPECT_EQ(&y(60), &grid.y(60));
  EXPECT_EQ(z.extent1(), 121);
  EXPECT_EQ(z.extent2(), 121);
  EXPECT_EQ(z.lower1(), -60);
  EXPECT_EQ(z.lower2(), -60);
  EXPECT_EQ(&z(7, -3), &grid.z(7, -3));
  EXPECT_EQ(&z.element(0, 0), z_storage);

  // The storage is kept from frame to frame.
  fill_frame(2, grid, Kernel::reference);
  EXPECT_EQ(grid.z_data(), z_storage);
}

// Every frame of the zoom through the reference loop, the chosen fast kernel and
// each implementation of it the processor has. An unoptimised (sanitizer) build
// checks every seventh frame and the last, to stay within a few tens of seconds.
#ifdef __OPTIMIZE__
constexpr int kFrameStep = 1;
#else
constexpr int kFrameStep = 7;
#endif

TEST(ZoomFrame, FastKernelGivesTheReferenceGridOnEveryFrame) {
  std::vector<FastPath> paths;
  for (FastPath p : {FastPath::portable, FastPath::avx2, FastPath::avx512})
    if (fast_path_supported(p)) paths.push_back(p);
  ZoomGrid reference;
  ZoomGrid fast;
  int differing = 0;
  for (int k = 1; k <= kFrameCount; ++k) {
    if ((k - 1) % kFrameStep != 0 && k != kFrameCount) continue;
    const FrameGeometry g = fill_frame(k, reference, Kernel::reference);
    fill_frame(k, fast, Kernel::fast);
    const std::uint64_t expected = grid_hash(reference);
    if (grid_hash(fast) != expected && differing++ < 5) ADD_FAILURE() << "frame " << k;
    for (FastPath path : paths) {
      if (path == fast_path()) continue;
      escape_grid(path, fast.x_data(), kSide, fast.y_data(), kSide, g.limit, fast.z_data());
      if (grid_hash(fast) != expected && differing++ < 5)
        ADD_FAILURE() << "frame " << k << ", " << fast_path_name(path);
    }
  }
  EXPECT_EQ(differing, 0);
}

}  // namespace
}  // namespace driver
