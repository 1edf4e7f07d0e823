// What the screen map hands its window for the values under the cursor.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gfxwin/graphics.h"
#include "gfxwin/graphics_testing.h"
#include "gfxwin/map_values.h"
#include "mapscreen/screen_map.h"

namespace mapscreen {
namespace {

class PaintedValues : public testing::Test {
 protected:
  void SetUp() override {
    gfxwin::reset_for_tests();
    screen_map_state() = ScreenMapState{};
  }
};

// Every pixel of the map reads the cell whose grey it shows, with the value
// the caller gave (not the grey level the base form rescales z to).
TEST_F(PaintedValues, EveryPixelReadsTheCellItShows) {
  const int nx = 7, ny = 5;
  std::vector<double> x(nx), y(ny), z(nx * ny);
  for (int i = 0; i < nx; ++i) x[i] = 10 + i * i;  // uneven widths
  for (int j = 0; j < ny; ++j) y[j] = -2.0 * j;    // running downwards
  for (int k = 0; k < nx * ny; ++k) z[k] = 3 * k;  // distinct greys: 0, 7.5, ... 255
  const std::vector<double> given = z;
  scr_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 1, -1, 0);

  const auto values = gfxwin::map_values(101);
  ASSERT_NE(values, nullptr);
  EXPECT_FALSE(values->single_precision);
  gfxwin::Picture p;
  ASSERT_TRUE(gfxwin::snapshot(101, p));
  int read = 0;
  for (int row = 0; row < p.height; ++row)
    for (int col = 0; col < p.width; ++col) {
      const auto cell = values->at(col, row);
      if (!cell) continue;
      ++read;
      const int k = cell->j * nx + cell->i;
      ASSERT_EQ(cell->z, given[k]);
      ASSERT_EQ(cell->x, x[cell->i]);
      ASSERT_EQ(cell->y, y[cell->j]);
      // The grey of the pixel is the rescaled value of that cell.
      const std::uint32_t grey = p.at(col, row) & 0xFF;
      ASSERT_EQ(grey, static_cast<std::uint32_t>(z[k] + 0.5)) << col << "," << row;
    }
  EXPECT_GT(read, 200 * 200);
  // Off the map: the frame and the text column.
  EXPECT_FALSE(values->at(1, 1));
  EXPECT_FALSE(values->at(400, 100));
}

// The single-precision forms read as the caller's floats; the log option
// adds the logarithm shown; a later call of the sequence hands its own values.
TEST_F(PaintedValues, FormsLogOptionAndLaterCalls) {
  const float x[] = {0.1f, 0.2f}, y[] = {0.3f, 0.4f};
  float z[2][2] = {{1, 10}, {100, 1000}};
  scr_map_2d(x, y, z, 1, std::nullopt, std::nullopt, std::nullopt, 1, -1, 0);
  auto values = gfxwin::map_values(101);
  ASSERT_NE(values, nullptr);
  // Cell (2, 2) at the top right of the map square.
  EXPECT_EQ(values->text_at(260, 10), "x = 0.2  y = 0.4  z = 1000  log10(z) = 3");
  EXPECT_EQ(values->text_at(10, 260), "x = 0.1  y = 0.3  z = 1  log10(z) = 0");

  z[1][1] = 0.5f;
  scr_map_2d(x, y, z, 0, std::nullopt, std::nullopt, std::nullopt, 1, -1, -1);
  values = gfxwin::map_values(101);
  EXPECT_EQ(values->text_at(260, 10), "x = 0.2  y = 0.4  z = 0.5");

  // All values equal: nothing drawn, the picture and its values stay.
  const float flat[2][2] = {{2, 2}, {2, 2}};
  scr_map_2d(x, y, flat, 0, std::nullopt, std::nullopt, std::nullopt, 1, -1, -1);
  EXPECT_EQ(gfxwin::map_values(101), values);

  // A new sequence: the new window reads its own map, double precision.
  const double xd[] = {0.1, 0.2}, yd[] = {0.3, 0.4};
  const double zd[2][2] = {{1, 2}, {3, 4}};
  scr_map_2d_r8(xd, yd, zd, 0, std::nullopt, std::nullopt, std::nullopt, 1, -1, 0);
  EXPECT_EQ(gfxwin::map_values(102)->text_at(260, 10), "x = 0.2  y = 0.4  z = 4");
}

// A window cleared or turned back into text shows no values.
TEST_F(PaintedValues, ClearingTheWindowDropsThem) {
  const std::vector<double> x = {0, 1}, y = {0, 1};
  std::vector<double> z = {0, 1, 2, 3};
  scr_map(x, y, z, 0, std::nullopt, std::nullopt, std::nullopt, 1, -1, 0);
  ASSERT_NE(gfxwin::map_values(101), nullptr);
  gfxwin::clear_window(0);
  EXPECT_EQ(gfxwin::map_values(101), nullptr);

  z = {0, 1, 2, 3};
  scr_map(x, y, z, 0, std::nullopt, std::nullopt, std::nullopt, 1, -1, -1);
  ASSERT_NE(gfxwin::map_values(101), nullptr);
  gfxwin::set_video_mode(gfxwin::kDefaultMode);
  EXPECT_EQ(gfxwin::map_values(101), nullptr);
}

}  // namespace
}  // namespace mapscreen
