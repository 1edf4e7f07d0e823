#include "gfxwin/map_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "gfxwin/graphics.h"
#include "gfxwin/graphics_testing.h"
#include "gfxwin/surface.h"

namespace gfxwin {
namespace {

TEST(MapValues, ShortestNumberReadsBackAsTheSameValue) {
  EXPECT_EQ(shortest_number(245), "245");
  EXPECT_EQ(shortest_number(-0.0428816), "-0.0428816");
  EXPECT_EQ(shortest_number(0.1), "0.1");
  EXPECT_EQ(shortest_number(1.0 / 3), "0.3333333333333333");
  EXPECT_EQ(shortest_number(1e300), "1e+300");
  EXPECT_EQ(shortest_number(-0.0), "-0");
  EXPECT_EQ(shortest_number(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(shortest_number(std::nan("")), "nan");
  // A float widened to double: written as the float the caller gave.
  const double widened = 0.1f;
  EXPECT_EQ(shortest_number(widened), "0.10000000149011612");
  EXPECT_EQ(shortest_number(widened, true), "0.1");
  EXPECT_EQ(shortest_number(static_cast<double>(-0.04288163f), true), "-0.04288163");
  for (double v : {0.1, 2.0 / 3, 6.02214076e23, 5e-324, -1.7976931348623157e308})
    EXPECT_EQ(std::strtod(shortest_number(v).c_str(), nullptr), v) << v;
}

// A surface as the screen map sets it up: 263 pixels a side, x and y 0 .. 1.
Surface map_surface() {
  Surface s;
  s.set_viewport(4, 4, 266, 266);
  s.set_window_coords(true, 0, 0, 1, 1);
  return s;
}

// The cells last_cells names are the cells whose colours the pixels show,
// for cells wider and narrower than a pixel, running either way.
TEST(MapValues, LastCellsAreTheCellsPaintedLast) {
  const std::vector<std::vector<double>> layouts = {
      {0, 0.1, 0.35, 0.36, 0.7, 1},                 // a few cells, one under a pixel wide
      {1, 0.8, 0.5, 0.45, 0.2, 0},                  // running right to left
      {0, 0.3, 0.2, 0.6, 0.6, 0.9},                 // overlapping and empty cells
  };
  std::vector<std::vector<double>> all = layouts;
  std::vector<double> dense(1001);  // 1000 cells over 263 pixels
  for (std::size_t k = 0; k < dense.size(); ++k) dense[k] = static_cast<double>(k) / 1000.0;
  all.push_back(dense);
  for (const std::vector<double>& edges : all) {
    SCOPED_TRACE(edges.size());
    const std::size_t n = edges.size() - 1;
    Surface s = map_surface();
    std::vector<std::int32_t> colour(n);
    for (std::size_t i = 0; i < n; ++i) colour[i] = static_cast<std::int32_t>(i + 1);
    s.fill_cell_row(colour.data(), edges.data(), n, 0.2, 0.8);
    const std::vector<int> cell = s.last_cells(true, edges.data(), n);
    ASSERT_EQ(cell.size(), 263u);
    const Picture p = s.picture();
    const int row = 135;
    for (int c = 0; c < 263; ++c) {
      const std::uint32_t shown = p.at(4 + c, row);  // 0 where no cell, else colour (blue byte)
      const int expected = shown == 0 ? -1 : static_cast<int>(pixel_of_rgb(static_cast<std::int32_t>(shown)) ) - 1;
      EXPECT_EQ(cell[static_cast<std::size_t>(c)], expected) << "column " << 4 + c;
    }
  }
}

TEST(MapValues, LastCellsAlongRowsCountUpwards) {
  Surface s = map_surface();
  const double bounds[] = {0, 0.25, 0.5, 1};
  const std::vector<int> cell = s.last_cells(false, bounds, 3);
  ASSERT_EQ(cell.size(), 263u);
  // Row 266 - round(y * 262): y 0.25 is row 200, shared by cells 0 and 1,
  // y 0.5 row 135, shared by cells 1 and 2; the later cell is painted over.
  EXPECT_EQ(cell[266 - 4], 0);
  EXPECT_EQ(cell[201 - 4], 0);
  EXPECT_EQ(cell[200 - 4], 1);
  EXPECT_EQ(cell[136 - 4], 1);
  EXPECT_EQ(cell[135 - 4], 2);
  EXPECT_EQ(cell[0], 2);
  // Bounds not a number give no pixel.
  const double nan_bounds[] = {0, std::nan(""), 1};
  EXPECT_EQ(s.last_cells(false, nan_bounds, 2), std::vector<int>(263, -1));
}

// Three columns and two rows of cells, 2 pixels each from surface pixel (10, 20);
// a column of pixels at each end shows none.
MapValues small_map() {
  MapValues v;
  v.left = 10;
  v.top = 20;
  v.column_cell = {-1, 0, 0, 1, 1, 2, 2, -1};
  v.row_cell = {1, 1, 0, 0};  // rows run upwards: the top pixels show row 1
  take_painted_cells(
      v, [](int i) { return 0.5 * i; }, [](int j) { return -1.0 * j; },
      [](int i, int j) { return 100.0 * j + i + 1; });
  return v;
}

TEST(MapValues, CellUnderAPixel) {
  const MapValues v = small_map();
  const auto cell = v.at(13, 20);
  ASSERT_TRUE(cell);
  EXPECT_EQ(cell->i, 1);
  EXPECT_EQ(cell->j, 1);
  EXPECT_EQ(cell->x, 0.5);
  EXPECT_EQ(cell->y, -1);
  EXPECT_EQ(cell->z, 102);
  EXPECT_EQ(v.text_at(11, 23), "x = 0  y = -0  z = 1");
  EXPECT_EQ(v.text_at(16, 22), "x = 1  y = -0  z = 3");
  // Outside the cells and outside the area.
  for (auto [px, py] : {std::pair{10, 21}, {17, 21}, {9, 21}, {12, 19}, {12, 24}, {-5, -5}})
    EXPECT_EQ(v.text_at(px, py), "") << px << "," << py;
  EXPECT_EQ(MapValues{}.text_at(0, 0), "");
}

TEST(MapValues, LogAndSinglePrecisionReadouts) {
  MapValues v = small_map();
  v.log = true;
  EXPECT_EQ(v.text_at(11, 20), "x = 0  y = -1  z = 101  log10(z) = 2.0043213737826426");
  v.z.assign(v.z.size(), 1000);
  EXPECT_EQ(v.text_at(11, 20), "x = 0  y = -1  z = 1000  log10(z) = 3");
  v.log = false;
  v.single_precision = true;
  v.x.assign(v.x.size(), static_cast<double>(0.3f));
  EXPECT_EQ(v.text_at(11, 20), "x = 0.3  y = -1  z = 1000");
}

// Only the cells painted somewhere are read, each once: a map of a million
// cells in a small window keeps a small copy.
TEST(MapValues, TakesOnlyThePaintedCells) {
  MapValues v;
  v.column_cell = {5, 5, 7, -1, 7, 9};
  v.row_cell = {3, 3, 2};
  int reads = 0;
  take_painted_cells(
      v, [](int i) { return i * 1.0; }, [](int j) { return j * 1.0; },
      [&](int i, int j) {
        ++reads;
        return i * 10.0 + j;
      });
  EXPECT_EQ(reads, 3 * 2);
  EXPECT_EQ(v.x, (std::vector<double>{5, 7, 9}));
  EXPECT_EQ(v.y, (std::vector<double>{3, 2}));
  EXPECT_EQ(v.at(4, 2)->z, 72);
  EXPECT_FALSE(v.at(3, 0));
}

// A map of two rows of one cell each over pixel rows 0 .. 3 (row 1 on top),
// its z the `frame` number.
std::shared_ptr<MapValues> frame_values(double frame) {
  auto v = std::make_shared<MapValues>();
  v->column_cell = {0};
  v->row_cell = {1, 1, 0, 0};
  v->rows = 2;
  take_painted_cells(
      *v, [](int) { return 0.0; }, [](int j) { return 1.0 * j; }, [&](int, int) { return frame; });
  return v;
}

// Paused in the middle of a frame, the rows painted so far read the new
// frame and the others the frame before; a frame cut short keeps the one
// before it for the rows it did not paint.
TEST(MapValues, HalfPaintedFrameReadsEachRowsOwnFrame) {
  ShownValues shown{frame_values(2), frame_values(1), 1};
  EXPECT_EQ(shown.text_at(0, 3), "x = 0  y = 0  z = 2");
  EXPECT_EQ(shown.text_at(0, 0), "x = 0  y = 1  z = 1");
  shown.rows_painted = 2;
  EXPECT_EQ(shown.text_at(0, 0), "x = 0  y = 1  z = 2");
  shown.before = nullptr;  // the first frame: its rows not painted yet read nothing
  shown.rows_painted = 0;
  EXPECT_EQ(shown.text_at(0, 3), "");

  // Through the window operations: each fill_cell_row_w paints the next row.
  reset_for_tests();
  open_unit(7, "USER", "frames", "UNKNOWN");
  activate_unit(7);
  const std::int32_t grey[] = {0x808080};
  const double edges[] = {0, 1};
  auto paint_row = [&] { fill_cell_row_w(grey, edges, 1, 0, 1); };
  show_map_values(frame_values(1));
  paint_row();
  EXPECT_EQ(readout_text(7, 0, 3), "x = 0  y = 0  z = 1");
  EXPECT_EQ(readout_text(7, 0, 0), "");
  paint_row();
  show_map_values(frame_values(2));
  paint_row();
  EXPECT_EQ(readout_text(7, 0, 3), "x = 0  y = 0  z = 2");
  EXPECT_EQ(readout_text(7, 0, 0), "x = 0  y = 1  z = 1");
  show_map_values(frame_values(3));  // frame 2 cut short: frame 1 stays below it
  EXPECT_EQ(readout_text(7, 0, 0), "x = 0  y = 1  z = 1");
  clear_window(0);
  EXPECT_EQ(readout_text(7, 0, 3), "");
  reset_for_tests();
}

}  // namespace
}  // namespace gfxwin
