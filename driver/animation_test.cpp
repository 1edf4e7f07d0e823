#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "driver/escape.h"
#include "driver/hand_off.h"
#include "driver/zoom.h"
#include "gfxwin/graphics.h"
#include "gfxwin/graphics_testing.h"

namespace driver {
namespace {

// The cell of grid point (i, j) in the small own-window area: window x over
// xmin .. X2 on columns 4 .. 577, y over ymin .. ymax on rows 267 .. 4, so
// the map fills the square of columns 4 .. 267.
gfxwin::Picture frame_picture() {
  gfxwin::Picture p;
  EXPECT_TRUE(gfxwin::snapshot(101, p));
  return p;
}

std::uint32_t cell_colour(const gfxwin::Picture& p, int i, int j) {
  const int column = 4 + (i + 60) * 263 / 120;
  const int row = 267 - (j + 60) * 263 / 120;
  return p.at(column, row);
}

// The whole animation goes to one window, opened on frame 1, and the grid the
// driver keeps is not touched by the hand-off.
TEST(Animation, AllFramesGoToTheOneWindowOpenedOnFrameOne) {
  gfxwin::reset_for_tests();
  ZoomGrid grid;
  fill_frame(1, grid, Kernel::fast);
  const std::vector<float> z_before(grid.z_data(), grid.z_data() + kSide * kSide);
  hand_off_frame(grid, 0);
  EXPECT_EQ(std::vector<float>(grid.z_data(), grid.z_data() + kSide * kSide), z_before);
  EXPECT_EQ(gfxwin::window_title(101), "Mandelbrot set");
  EXPECT_EQ(gfxwin::active_unit(), 101);

  // Frame 1: the centre point is inside the set (the largest value: white),
  // the corner (-60, -60) leaves at once (the smallest: black).
  gfxwin::Picture first = frame_picture();
  EXPECT_EQ(cell_colour(first, 0, 0), 0xFFFFFFu);
  EXPECT_EQ(cell_colour(first, -60, -60), 0x000000u);
  EXPECT_EQ(first.at(1, 100), 0x800080u);  // the frame drawn once

  for (int k = 2; k <= kFrameCount; ++k) {
    fill_frame(k, grid, Kernel::fast);
    hand_off_frame(grid, -1);
  }
  EXPECT_EQ(gfxwin::window_title(102), "");  // no second window
  const gfxwin::Picture last = frame_picture();
  EXPECT_EQ(last.at(1, 100), 0x800080u);
  EXPECT_NE(last.pixels, first.pixels);
  // Frame 350 is centred on the target point, on the edge of the set: both
  // black and white cells and many greys between them.
  int black = 0, white = 0;
  std::vector<bool> seen(256, false);
  for (int j = -60; j <= 60; ++j)
    for (int i = -60; i <= 60; ++i) {
      const std::uint32_t c = cell_colour(last, i, j);
      black += c == 0;
      white += c == 0xFFFFFF;
      seen[c & 0xFF] = true;
    }
  EXPECT_GT(black, 0);
  EXPECT_GT(white, 0);
  int greys = 0;
  for (bool s : seen) greys += s;
  EXPECT_GT(greys, 20);
}

}  // namespace
}  // namespace driver
