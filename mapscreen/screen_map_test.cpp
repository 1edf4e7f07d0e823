#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "gfxwin/graphics.h"
#include "gfxwin/graphics_testing.h"
#include "mapfilm/test_support.h"
#include "mapscreen/screen_map.h"
#include "rtl/console.h"

namespace mapscreen {
namespace {

constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kMagenta = 0x800080;  // palette entry 5
constexpr std::uint32_t kDarkBlue = 0x000080; // palette entry 1
constexpr std::uint32_t kRed = 0xFF0000;      // palette entry 12

class ScreenMap : public testing::Test {
 protected:
  void SetUp() override {
    gfxwin::reset_for_tests();
    screen_map_state() = ScreenMapState{};
  }
  static gfxwin::Picture picture(int unit) {
    gfxwin::Picture p;
    EXPECT_TRUE(gfxwin::snapshot(unit, p));
    return p;
  }
  // Whether any pixel of the rectangle (corners included) has the colour.
  static bool has_colour(const gfxwin::Picture& p, int x1, int y1, int x2, int y2,
                         std::uint32_t colour) {
    for (int y = y1; y <= y2; ++y)
      for (int x = x1; x <= x2; ++x)
        if (p.at(x, y) == colour) return true;
    return false;
  }
};

// The worked example: three columns, two rows, values 0 1 2 in each row, in
// the small own-window area (580 x 270). Window coordinates map x to column
// 4 + round(x * 131.5) and y to row 267 - round(y * 263).
TEST_F(ScreenMap, SmallExampleGreyLevelsAndCellSpans) {
  const std::vector<double> x = {0, 1, 2}, y = {0, 1};
  std::vector<double> z = {0, 1, 2, 0, 1, 2};
  scr_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 1, -1, 0);
  EXPECT_EQ(z, (std::vector<double>{0, 127.5, 255, 0, 127.5, 255}));  // rescaled in place

  const gfxwin::Picture p = picture(101);
  for (int row : {267, 200, 136, 135, 100, 4}) {
    SCOPED_TRACE(row);
    EXPECT_EQ(p.at(4, row), kBlack);
    EXPECT_EQ(p.at(69, row), kBlack);     // x = 0 .. 0.5 ends at column 70
    EXPECT_EQ(p.at(70, row), 0x808080u);  // 127.5 rounds away from zero: 128
    EXPECT_EQ(p.at(200, row), 0x808080u);
    EXPECT_EQ(p.at(201, row), kWhite);    // x = 1.5 .. 2 from column 201
    EXPECT_EQ(p.at(267, row), kWhite);
  }
  // The frame: magenta outline (1,1)-(270,270) around the dark blue square
  // (4,4)-(267,267) that the map covers exactly; black beyond.
  EXPECT_EQ(p.at(1, 100), kMagenta);
  EXPECT_EQ(p.at(270, 270), kMagenta);
  EXPECT_EQ(p.at(2, 100), kBlack);
  EXPECT_EQ(p.at(4, 268), kBlack);
  EXPECT_EQ(p.at(271, 100), kBlack);
  EXPECT_EQ(p.at(0, 0), kBlack);
}

// Ranges at the ends of double precision still give levels 0 .. 255: a
// subnormal range (whose scale 255 / range overflows) and finite values whose
// difference overflows.
TEST_F(ScreenMap, ExtremeRangesStillGiveGreyLevels) {
  const std::vector<double> x = {0, 1}, y = {0, 1};
  std::vector<double> tiny = {-4.9406564584124654e-324, 0, 0, 0};
  scr_map(x, y, tiny, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 1, -1, 0);
  EXPECT_EQ(tiny, (std::vector<double>{0, 255, 255, 255}));
  std::vector<double> wide = {-1.0e308, 1.0e308, 0, 1.0e308};
  scr_map(x, y, wide, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 1, -1, 0);
  EXPECT_EQ(wide, (std::vector<double>{0, 255, 127.5, 255}));
  const gfxwin::Picture p = picture(102);
  EXPECT_EQ(p.at(4, 267), kBlack);  // the cell of -1e308
  EXPECT_EQ(p.at(267, 267), kWhite);
}

TEST_F(ScreenMap, NineTextLinesStandInTheColumnRightOfTheMap) {
  const std::vector<double> x = {0, 1, 2}, y = {0, 1};
  std::vector<double> z = {0, 1, 2, 0, 1, 2};
  scr_map(x, y, z, 0, "Re(c)", "Im(c)", "Title", 1, -1, 0);
  const gfxwin::Picture p = picture(101);
  // First line at (291, 24), each following one 20 or 40 pixels lower; the
  // last one 220 pixels below the top of the viewport, at row 224.
  EXPECT_TRUE(has_colour(p, 291, 24, 340, 40, kWhite));
  EXPECT_TRUE(has_colour(p, 291, 224, 340, 240, kWhite));
  EXPECT_FALSE(has_colour(p, 271, 4, 290, 266, kWhite));   // nothing left of the column
  EXPECT_FALSE(has_colour(p, 291, 250, 577, 266, kWhite));  // nothing below the last line
  EXPECT_EQ(gfxwin::window_title(101), "Title");
}

TEST_F(ScreenMap, LabelFormatsAndNumberTexts) {
  // x over -1.9 .. 1.9 in the small area: the right edge X2 is about 6.38.
  const double x2 = -1.9 + 3.8 * 573 / 263;
  EXPECT_EQ(label_format(-1.9, x2), "(g9.3)");
  EXPECT_EQ(label_format(0, 1), "(g9.3)");
  EXPECT_EQ(label_format(1.0, 1.001), "(g12.6)");
  EXPECT_EQ(label_format(1.0, 1.0 + 1e-15), "(g22.16)");
  // Equal values and a zero range: no math error, the largest digit count;
  // all zero (not a number): the smallest.
  EXPECT_EQ(label_format(2.5, 2.5), "(g22.16)");
  EXPECT_EQ(label_format(0, 0), "(g9.3)");
  EXPECT_EQ(number_text(-1.9, "(g9.3)"), "-1.90");
  EXPECT_EQ(number_text(0.05, "(g9.3)"), "0.500E-01");
}

TEST_F(ScreenMap, LogTitleIsTheWindowCaption) {
  const std::vector<double> x = {0, 1}, y = {0, 1};
  std::vector<double> z = {1, 10, 100, 1000};
  scr_map(x, y, z, -1, std::nullopt, std::nullopt, "  Field  ", 1, -1, 0);
  EXPECT_EQ(gfxwin::window_title(101), "log(Field)");
  EXPECT_EQ(z, (std::vector<double>{1, 10, 100, 1000}));  // the log copy is rescaled, not z
  scr_map(x, y, z, 1, std::nullopt, std::nullopt, std::nullopt, 1, -1, 0);
  EXPECT_EQ(gfxwin::window_title(102), "log(Representation of z=z(x,y))");
}

TEST_F(ScreenMap, SizeOptionChoosesTheArea) {
  const std::vector<double> x = {0, 1}, y = {0, 1};
  for (int size : {0, -1, 7, 2}) {
    SCOPED_TRACE(size);
    std::vector<double> z = {0, 1, 2, 3};
    scr_map(x, y, z, 0, "x", "y", "t", size, -1, 0);
    const int h = size == 7 ? 662 : size == 2 ? 451 : 270;
    const gfxwin::Picture p = picture(screen_map_state().unit_counter);
    EXPECT_EQ(p.at(h, 100), kMagenta);
    EXPECT_EQ(p.at(h + 1, 100), kBlack);
  }
}

// Every pixel a first call paints lies in its painted area, whose last row
// holds the frame's bottom edge; a title too long for the text column is
// clipped inside the area.
TEST_F(ScreenMap, ThePaintedAreaHoldsAllThatIsDrawn) {
  const std::vector<double> x = {-1.9, 1.9}, y = {-1.5, 1.5};
  const std::string title(80, 'W');
  for (int size : {1, 2, 3}) {
    SCOPED_TRACE(size);
    std::vector<double> z = {0, 1, 2, 3};
    scr_map(x, y, z, 0, "x", "y", title, size, -1, 0);
    const Area a = painted_area(size, true);
    EXPECT_EQ(a.w, drawing_area(size, true).w);
    EXPECT_EQ(a.h, drawing_area(size, true).h + 1);
    const gfxwin::Picture p = picture(screen_map_state().unit_counter);
    int last_drawn_row = 0, last_drawn_column = 0;
    for (int row = 0; row < p.height; ++row)
      for (int column = 0; column < p.width; ++column)
        if (p.at(column, row) != kBlack) {
          last_drawn_row = std::max(last_drawn_row, row);
          last_drawn_column = std::max(last_drawn_column, column);
        }
    EXPECT_EQ(last_drawn_row, a.h - 1);
    EXPECT_LT(last_drawn_column, a.w);
  }
  EXPECT_EQ(drawing_area(1, false).h, 290);
  EXPECT_EQ(painted_area(0, false).h, 291);
}

TEST_F(ScreenMap, EachSequenceOpensTheNextUnit) {
  const std::vector<double> x = {0, 1}, y = {0, 1};
  std::vector<double> z1 = {0, 1, 2, 3}, z2 = z1, z3 = z1;
  scr_map(x, y, z1, 0, "x", "y", "first", 1, -1, 0);
  scr_map(x, y, z2, 0, "x", "y", "first again", 1, -1, -1);  // same window
  scr_map(x, y, z3, 0, "x", "y", "second", 1, -1, 0);
  EXPECT_EQ(gfxwin::window_title(101), "first");
  EXPECT_EQ(gfxwin::window_title(102), "second");
  EXPECT_EQ(gfxwin::window_title(103), "");
  EXPECT_EQ(gfxwin::active_unit(), 102);
}

TEST_F(ScreenMap, LaterCallRepaintsCellsAndBlacksOutOnlyTheTextColumn) {
  const std::vector<double> x = {0, 1, 2}, y = {0, 1};
  std::vector<double> z = {0, 1, 2, 0, 1, 2};
  scr_map(x, y, z, 0, "x", "y", "t", 1, -1, 0);
  // Marks left of the map and inside the text column.
  gfxwin::set_viewport(0, 0, 1004, 662);
  gfxwin::set_color_index(12);
  gfxwin::rectangle(gfxwin::kFillInterior, 2, 100, 2, 100);
  gfxwin::rectangle(gfxwin::kFillInterior, 560, 250, 560, 250);

  std::vector<double> reversed = {2, 1, 0, 2, 1, 0};
  scr_map(x, y, reversed, 0, "x", "y", "t", 1, -1, -1);
  const gfxwin::Picture p = picture(101);
  EXPECT_EQ(p.at(2, 100), kRed);        // not cleared
  EXPECT_EQ(p.at(1, 100), kMagenta);    // frame kept
  EXPECT_EQ(p.at(30, 200), kWhite);     // cells repainted
  EXPECT_EQ(p.at(230, 200), kBlack);
  EXPECT_EQ(p.at(560, 250), kBlack);    // the old text column blacked out
  EXPECT_TRUE(has_colour(p, 291, 24, 340, 40, kWhite));  // and written again
}

TEST_F(ScreenMap, NothingOfTheMapWithoutUsableValues) {
  const std::vector<double> x = {0, 1, 2}, y = {0, 1};
  std::vector<double> flat = {5, 5, 5, 5, 5, 5};
  scr_map(x, y, flat, 0, "x", "y", "flat", 1, -1, 0);
  std::vector<double> short_z = {0, 1, 2};  // fewer values than cells
  scr_map(x, y, short_z, 0, "x", "y", "short", 1, -1, 0);
  std::vector<double> z = {0, 1};
  scr_map(std::vector<double>{}, y, z, 0, "x", "y", "empty", 1, -1, 0);
  for (int unit : {101, 102, 103}) {
    SCOPED_TRACE(unit);
    const gfxwin::Picture p = picture(unit);
    EXPECT_EQ(p.at(100, 200), kDarkBlue);  // only the frame
    EXPECT_FALSE(has_colour(p, 271, 4, 577, 266, kWhite));
  }
  EXPECT_EQ(flat, std::vector<double>(6, 5));
}

// The grey scale and the texts come from the finite values; +inf is white,
// -inf black, as the largest and smallest of them.
TEST_F(ScreenMap, InfiniteValuesTakeTheEndsOfTheGreyScale) {
  const std::vector<double> x = {0, 1, 2}, y = {0, 1};
  std::vector<double> z = {0, INFINITY, 2, -INFINITY, 1, 2};
  scr_map(x, y, z, std::nullopt, "x", "y", "t", 1, -1, 0);
  EXPECT_EQ(z, (std::vector<double>{0, 255, 255, 0, 127.5, 255}));
  std::vector<double> ends = {0, 2, 2, 0, 1, 2};
  scr_map(x, y, ends, std::nullopt, "x", "y", "t", 1, -1, 0);
  EXPECT_EQ(picture(101).pixels, picture(102).pixels);
}

// No finite value is drawn as equal values are; coordinates that are not
// finite leave the window as its frame.
TEST_F(ScreenMap, NothingOfTheMapWithoutFiniteValuesOrCoordinates) {
  const std::vector<double> x = {0, 1, 2}, y = {0, 1};
  std::vector<double> infinite = {INFINITY, -INFINITY, INFINITY, INFINITY, NAN, -INFINITY};
  scr_map(x, y, infinite, 0, "x", "y", "infinite", 1, -1, 0);
  std::vector<double> z = {0, 1, 2, 0, 1, 2};
  scr_map(std::vector<double>{-INFINITY, 1, INFINITY}, y, z, 0, "x", "y", "x", 1, -1, 0);
  scr_map(x, std::vector<double>{NAN, 1}, z, 0, "x", "y", "y", 1, -1, 0);
  for (int unit : {101, 102, 103}) {
    SCOPED_TRACE(unit);
    const gfxwin::Picture p = picture(unit);
    EXPECT_EQ(p.at(100, 200), kDarkBlue);  // only the frame
    EXPECT_FALSE(has_colour(p, 271, 4, 577, 266, kWhite));
  }
  EXPECT_EQ(z, (std::vector<double>{0, 1, 2, 0, 1, 2}));
}

TEST_F(ScreenMap, EntryPointsPackAndLeaveTheCallersArraysAlone) {
  // (row, column) = (1,1) a (2,1) b (3,1) c (1,2) d (2,2) e (3,2) f with
  // bounds -60 and 7, stored with the second index fastest.
  const float xf[] = {0, 1, 2}, yf[] = {0, 1};
  const float storage[] = {0, 2, 1, 1, 2, 0};  // a d b e c f
  const MatView<float> zm(storage, 3, 2, 2, 1, -60, 7);
  scr_map_2d(xf, yf, zm, std::nullopt, "x", "y", "2d", 1, -1, 0);
  EXPECT_EQ(std::vector<float>(storage, storage + 6), (std::vector<float>{0, 2, 1, 1, 2, 0}));

  // The same map in the base form.
  const std::vector<double> x = {0, 1, 2}, y = {0, 1};
  std::vector<double> z = {0, 1, 2, 2, 1, 0};
  scr_map(x, y, z, std::nullopt, "x", "y", "2d", 1, -1, 0);
  const std::vector<float> zf = {0, 1, 2, 2, 1, 0};
  scr_map_r4(xf, yf, zf, std::nullopt, "x", "y", "2d", 1, -1, 0);
  const double zd[2][3] = {{0, 1, 2}, {2, 1, 0}};
  scr_map_2d_r8(x, y, zd, std::nullopt, "x", "y", "2d", 1, -1, 0);
  EXPECT_EQ(zf, (std::vector<float>{0, 1, 2, 2, 1, 0}));
  EXPECT_EQ(zd[1][0], 2);

  const gfxwin::Picture base = picture(102);
  EXPECT_EQ(base.at(30, 200), kBlack);
  EXPECT_EQ(base.at(30, 50), kWhite);
  for (int unit : {101, 103, 104}) EXPECT_EQ(picture(unit).pixels, base.pixels) << unit;
}

// Options by name paint what the same options by position paint.
TEST_F(ScreenMap, OptionsByNameAreThePositionalOptions) {
  const std::vector<double> x = {0, 1}, y = {0, 1};
  std::vector<double> z = {0, 1, 2, 3};
  std::vector<double> z2 = z;
  scr_map(x, y, z, std::nullopt, "a", std::nullopt, "T", 2, -1);
  scr_map(x, y, z2, {.xlabel = "a", .title = "T", .size = 2, .own_window = -1});
  const std::vector<float> xf = {0, 1}, yf = {0, 1}, zf = {0, 1, 2, 3};
  const float zm[2][2] = {{0, 1}, {2, 3}};
  const double zmd[2][2] = {{0, 1}, {2, 3}};
  scr_map_r4(xf, yf, zf, {.xlabel = "a", .title = "T", .size = 2, .own_window = -1});
  scr_map_2d(xf, yf, zm, {.xlabel = "a", .title = "T", .size = 2, .own_window = -1});
  scr_map_2d_r8(x, y, zmd, {.xlabel = "a", .title = "T", .size = 2, .own_window = -1});
  const gfxwin::Picture base = picture(101);
  for (int unit : {102, 103, 104, 105}) {
    EXPECT_EQ(gfxwin::window_title(unit), "T");
    EXPECT_EQ(picture(unit).pixels, base.pixels) << unit;
  }
}

// screen_map is the form of its arrays' precision and shape: on double
// precision and a flat z it is scr_map, which rescales z in place.
TEST_F(ScreenMap, OneNameForTheFourForms) {
  const ScreenMapOptions o{.xlabel = "a", .title = "T", .size = 2, .own_window = -1};
  const std::vector<double> x = {0, 1}, y = {0, 1};
  std::vector<double> z = {0, 1, 2, 3}, rescaled = z;
  scr_map(x, y, rescaled, o);
  screen_map(x, y, z, o);
  EXPECT_EQ(z, rescaled);
  EXPECT_EQ(z.back(), 255);
  const std::vector<float> xf = {0, 1}, yf = {0, 1}, zf = {0, 1, 2, 3};
  const float zm[2][2] = {{0, 1}, {2, 3}};
  const double zmd[2][2] = {{0, 1}, {2, 3}};
  screen_map(xf, yf, zf, o);
  screen_map(xf, yf, zm, o);
  screen_map(x, y, zmd, o);
  for (int unit : {102, 103, 104, 105}) {
    EXPECT_EQ(gfxwin::window_title(unit), "T");
    EXPECT_EQ(picture(unit).pixels, picture(101).pixels) << unit;
  }
}

TEST_F(ScreenMap, OmittedOptionsMatchTheBaseRoutine) {
  const std::vector<double> x = {0, 1}, y = {0, 1};
  std::vector<double> z = {0, 1, 2, 3};
  scr_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, -1);
  const std::vector<float> xf = {0, 1}, yf = {0, 1}, zf = {0, 1, 2, 3};
  const float zm[2][2] = {{0, 1}, {2, 3}};
  scr_map_r4(xf, yf, zf, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
             -1);
  scr_map_2d(xf, yf, zm, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
             -1);
  const gfxwin::Picture base = picture(101);
  EXPECT_EQ(gfxwin::window_title(101), "Representation of z=z(x,y)");
  for (int unit : {102, 103}) {
    EXPECT_EQ(gfxwin::window_title(unit), "Representation of z=z(x,y)");
    EXPECT_EQ(picture(unit).pixels, base.pixels) << unit;
  }
}

// Console mode: the map goes into the console window and the call waits for
// a line; afterwards the console is a cleared text window again.
TEST_F(ScreenMap, ConsoleModeWaitsForEnter) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const int saved_stdin = dup(0);
  ASSERT_EQ(dup2(fds[0], 0), 0);

  std::atomic<bool> returned{false};
  std::thread caller([&] {
    const float x[] = {0, 1}, y[] = {0, 1};
    const float z[2][2] = {{0, 1}, {2, 3}};
    scr_map_2d(x, y, z);
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(returned);
  ASSERT_EQ(write(fds[1], "\n", 1), 1);
  caller.join();
  EXPECT_TRUE(returned);
  dup2(saved_stdin, 0);
  close(saved_stdin);
  close(fds[0]);
  close(fds[1]);

  EXPECT_EQ(gfxwin::active_unit(), gfxwin::kConsoleUnit);
  const gfxwin::Picture p = picture(gfxwin::kConsoleUnit);
  EXPECT_FALSE(has_colour(p, 0, 0, p.width - 1, p.height - 1, kMagenta));
  EXPECT_FALSE(has_colour(p, 0, 0, p.width - 1, p.height - 1, kWhite));
  EXPECT_EQ(gfxwin::map_values(gfxwin::kConsoleUnit), nullptr);  // no values to read
}

// A colour table with a range of the caller's own: each cell takes the
// table's colour at its level (values beyond the range its end colours); the
// frame and the text column, which shows the data's own lowest and highest
// z, are as without colours.
TEST_F(ScreenMap, CellsTakeTheTablesColoursWithinTheRangeGiven) {
  const maparg::PalettePoint points[] = {{0, 1, 0, 0}, {0.5f, 0, 1, 0}, {1, 0, 0, 1}};
  const std::vector<double> x = {0, 1, 2}, y = {0, 1};
  std::vector<double> z = {0, 1, 2, 3, 4, 5};
  scr_map(x, y, z, {.own_window = -1, .palette = points, .zmin = 1, .zmax = 4});
  EXPECT_EQ(z, (std::vector<double>{-85, 0, 85, 170, 255, 340}));  // levels, in place
  const gfxwin::Picture p = picture(101);
  EXPECT_EQ(p.at(30, 200), 0xFF0000u);   // 0, below zmin: the first colour
  EXPECT_EQ(p.at(100, 200), 0xFF0000u);  // zmin
  EXPECT_EQ(p.at(230, 200), 0x55AA00u);  // a third of the way: red 85, green 170
  EXPECT_EQ(p.at(30, 100), 0x00AA55u);   // two thirds
  EXPECT_EQ(p.at(100, 100), 0x0000FFu);  // zmax
  EXPECT_EQ(p.at(230, 100), 0x0000FFu);  // beyond it
  EXPECT_EQ(p.at(1, 100), kMagenta);

  std::vector<double> grey = {0, 1, 2, 3, 4, 5};
  scr_map(x, y, grey, {.own_window = -1});
  const gfxwin::Picture q = picture(102);
  for (int row = 0; row < 270; ++row)
    for (int column = 270; column < 580; ++column)
      ASSERT_EQ(p.at(column, row), q.at(column, row)) << column << ", " << row;
}

// zcentre: the smallest range symmetric around it that holds the data,
// unless zmin or zmax is given; one that is not finite warns. zlabel: a
// tenth line of the text column, 20 pixels below the ninth.
TEST_F(ScreenMap, CentredRangesAndTheZLabel) {
  const std::vector<double> x = {0, 1, 2}, y = {0, 1};
  const struct {
    ScreenMapOptions o;
    std::vector<double> levels;
    bool warned;
  } cases[] = {
      {{.zcentre = 0}, {148.75, 170, 191.25, 212.5, 233.75, 255}, false},
      {{.zcentre = 7}, {0, 21.25, 42.5, 63.75, 85, 106.25}, false},
      {{.zmax = 11, .zcentre = 0}, {0, 25.5, 51, 76.5, 102, 127.5}, false},
      {{.zcentre = NAN}, {0, 51, 102, 153, 204, 255}, true},
      {{.log = 1, .zcentre = 1}, {}, false},
  };
  std::vector<std::string> lines;
  rtl::change_hooks([&](rtl::Hooks& h) {
    h.console_listener = [&](std::string_view line) { lines.emplace_back(line); };
  });
  for (const auto& c : cases) {
    std::vector<double> z = {1, 2, 3, 4, 5, 6};
    ScreenMapOptions o = c.o;
    o.own_window = -1;
    lines.clear();
    scr_map(x, y, z, o);
    if (!c.levels.empty()) { EXPECT_EQ(z, c.levels); }
    EXPECT_EQ(lines, c.warned ? std::vector<std::string>{" " + std::string(maparg::kCentreWarning)}
                              : std::vector<std::string>{});
  }
  rtl::change_hooks([&](rtl::Hooks& h) { h.console_listener = {}; });
  std::vector<double> z = {0, 1, 2, 0, 1, 2};
  scr_map(x, y, z, {.own_window = -1, .zlabel = "K"});
  const gfxwin::Picture p = picture(gfxwin::active_unit());
  EXPECT_TRUE(has_colour(p, 291, 244, 340, 260, kWhite));
  EXPECT_FALSE(has_colour(p, 291, 262, 577, 266, kWhite));
  // The single-precision form passes both on.
  const std::vector<float> xf = {0, 1, 2}, yf = {0, 1}, zf = {1, 2, 3, 4, 5, 6};
  std::vector<double> zd = {1, 2, 3, 4, 5, 6};
  scr_map(x, y, zd, {.own_window = -1, .zcentre = 0, .zlabel = "K"});
  const int unit = gfxwin::active_unit();
  scr_map_r4(xf, yf, zf, {.own_window = -1, .zcentre = 0, .zlabel = "K"});
  EXPECT_EQ(picture(gfxwin::active_unit()).pixels, picture(unit).pixels);
}

// A value that is not a number is black with any table, first value or
// not; the other cells keep their colours.
TEST_F(ScreenMap, ValuesThatAreNotNumbersAreBlackWithAnyTable) {
  const maparg::PalettePoint points[] = {{0, 1, 0, 0}, {0.5f, 0, 1, 0}, {1, 0, 0, 1}};
  const std::vector<double> x = {0, 1, 2}, y = {0, 1};
  const double nan = std::nan("");
  const struct {
    std::vector<double> z;
    maparg::OptPalette palette;
    std::uint32_t at[6];  // cells (30, 200), (100, 200), (230, 200), (30, 100), (100, 100), (230, 100)
  } cases[] = {
      {{0, nan, 2, 3, 4, 5}, points, {0xFF0000, kBlack, 0x33CC00, 0x00CC33, 0x006699, 0x0000FF}},
      {{0, nan, 2, 3, 4, 5}, "heat", {kBlack, kBlack, 0xFF3300, 0xFFCC00, 0xFFFF66, kWhite}},
      {{0, nan, 2, 3, 4, 5}, std::nullopt, {kBlack, kBlack, 0x666666, 0x999999, 0xCCCCCC, kWhite}},
      {{nan, 1, 2, 3, 4, 5}, points, {kBlack, kBlack, kBlack, kBlack, kBlack, kBlack}},
      {{0, 1, 2, nan, 4, nan}, "viridis", {0x440154, 0x3B528B, 0x21908C, kBlack, 0xFDE725, kBlack}},
  };
  int unit = 100;
  for (const auto& c : cases) {
    std::vector<double> z = c.z;
    scr_map(x, y, z, {.own_window = -1, .palette = c.palette});
    const gfxwin::Picture p = picture(++unit);
    const int at[6][2] = {{30, 200}, {100, 200}, {230, 200}, {30, 100}, {100, 100}, {230, 100}};
    for (int k = 0; k < 6; ++k)
      EXPECT_EQ(p.at(at[k][0], at[k][1]), c.at[k]) << "unit " << unit << " cell " << k << std::hex
                                                     << " " << p.at(at[k][0], at[k][1]);
  }
}

// The colours asked for the cells the table does not give: a value that is
// not a number in nan_colour, values beyond the caller's range (infinite ones
// too) in under and over; without a range of the caller's, under and over
// colour nothing; an unusable colour warns and draws as without it.
TEST_F(ScreenMap, NanUnderAndOverCellsTakeTheColoursAsked) {
  const maparg::PalettePoint points[] = {{0, 1, 0, 0}, {0.5f, 0, 1, 0}, {1, 0, 0, 1}};
  const maparg::Colour teal{0.2, 0.6, 0.8}, orange{0.8, 0.4, 0}, navy{0, 0.2, 0.4};
  constexpr std::uint32_t kTeal = 0x3399CC, kOrange = 0xCC6600, kNavy = 0x003366;
  const std::vector<double> x = {0, 1, 2}, y = {0, 1};
  const double nan = std::nan("");
  std::vector<std::string> lines;
  rtl::change_hooks([&](rtl::Hooks& h) { h.console_listener = [&](std::string_view line) { lines.emplace_back(line); }; });
  const struct {
    std::vector<double> z;
    ScreenMapOptions o;
    std::uint32_t at[6];  // cells (30, 200), (100, 200), (230, 200), (30, 100), (100, 100), (230, 100)
    std::size_t warnings;
  } cases[] = {
      {{0, nan, 2, 3, 4, 5}, {.own_window = -1, .nan_colour = teal},
       {kBlack, kTeal, 0x666666, 0x999999, 0xCCCCCC, kWhite}, 0},
      {{0, 1, 2, nan, 4, nan}, {.own_window = -1, .palette = "viridis", .nan_colour = teal},
       {0x440154, 0x3B528B, 0x21908C, kTeal, 0xFDE725, kTeal}, 0},
      {{0, nan, 2, 3, 4, 5},
       {.own_window = -1, .palette = points, .zmin = 1, .zmax = 4, .nan_colour = teal,
        .under = orange, .over = navy},
       {kOrange, kTeal, 0x55AA00, 0x00AA55, 0x0000FF, kNavy}, 0},
      {{-INFINITY, 1, 2, 3, 4, INFINITY},
       {.own_window = -1, .palette = points, .zmin = 1, .zmax = 4, .over = navy},
       {0xFF0000, 0xFF0000, 0x55AA00, 0x00AA55, 0x0000FF, kNavy}, 0},
      {{0, 1, 2, 3, 4, 5}, {.own_window = -1, .palette = points, .under = orange, .over = navy},
       {0xFF0000, 0x996600, 0x33CC00, 0x00CC33, 0x006699, 0x0000FF}, 0},
      {{0, nan, 2, 3, 4, 5},
       {.own_window = -1, .palette = points, .zmin = 1, .zmax = 4,
        .nan_colour = maparg::Colour{0, 1.01, 0}, .under = maparg::Colour{0, 0, nan},
        .over = maparg::Colour{-1, 0, 0}},
       {0xFF0000, kBlack, 0x55AA00, 0x00AA55, 0x0000FF, 0x0000FF}, 3},
  };
  int unit = 100;
  for (const auto& c : cases) {
    lines.clear();
    std::vector<double> z = c.z;
    scr_map(x, y, z, c.o);
    const gfxwin::Picture p = picture(++unit);
    const int at[6][2] = {{30, 200}, {100, 200}, {230, 200}, {30, 100}, {100, 100}, {230, 100}};
    for (int k = 0; k < 6; ++k)
      EXPECT_EQ(p.at(at[k][0], at[k][1]), c.at[k]) << "unit " << unit << " cell " << k << std::hex
                                                     << " " << p.at(at[k][0], at[k][1]);
    EXPECT_EQ(lines.size(), c.warnings) << "unit " << unit;
  }
  // The single-precision form (as every form, through the same conversion)
  // passes them on.
  const std::vector<float> xf = {0, 1, 2}, yf = {0, 1}, zf = {0, NAN, 2, 3, 4, 5};
  scr_map_r4(xf, yf, zf, cases[2].o);
  EXPECT_EQ(picture(++unit).pixels, picture(103).pixels);
  rtl::change_hooks([&](rtl::Hooks& h) { h.console_listener = {}; });
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "  Warning: nan_colour must be three intensities within 0 .. 1: black used !!!");
  EXPECT_EQ(lines[1], "  Warning: under must be three intensities within 0 .. 1: the end colours used !!!");
  EXPECT_EQ(lines[2], "  Warning: over must be three intensities within 0 .. 1: the end colours used !!!");
}

// The frames of an animation with one range: the same value, the same colour,
// whatever each frame's own lowest and highest values; a frame whose values
// are all equal is drawn too.
TEST_F(ScreenMap, FramesWithOneRangeKeepTheColourOfAValue) {
  const std::vector<double> x = {0, 1, 2}, y = {0, 1};
  std::vector<double> first = {0, 1, 2, 0, 1, 2};
  scr_map(x, y, first, {.own_window = -1, .palette = "viridis", .zmin = 0, .zmax = 4});
  const std::uint32_t one = picture(101).at(100, 200);
  std::vector<double> flat(6, 1);
  scr_map(x, y, flat, {.own_window = -1, .continuation = -1, .palette = "viridis", .zmin = 0,
                       .zmax = 4});
  const gfxwin::Picture p = picture(101);
  EXPECT_EQ(p.at(30, 200), one);
  EXPECT_EQ(p.at(230, 100), one);
  std::string warning;
  const std::array<std::int32_t, 256> viridis =
      maparg::level_colours(maparg::colour_table("viridis", warning));
  const std::int32_t c = viridis[64];  // 1 of 0 .. 4: level 63.75, 64
  EXPECT_EQ(one, static_cast<std::uint32_t>((c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF)));
}

// An unusable palette or range: its warning line on the console, and the map
// as without it.
TEST_F(ScreenMap, UnusablePaletteOrRangeWarnsAndDrawsAsWithout) {
  std::vector<std::string> lines;
  rtl::change_hooks([&](rtl::Hooks& h) { h.console_listener = [&](std::string_view line) { lines.emplace_back(line); }; });
  const std::vector<double> x = {0, 1, 2}, y = {0, 1};
  const auto draw = [&](const ScreenMapOptions& o) {
    std::vector<double> z = {0, 1, 2, 0, 1, 2};
    scr_map(x, y, z, o);
  };
  draw({.own_window = -1});
  const maparg::PalettePoint decreasing[] = {{0.5f, 0, 0, 0}, {0.25f, 1, 1, 1}};
  draw({.own_window = -1, .palette = "Viridis_x"});
  draw({.own_window = -1, .palette = decreasing});
  draw({.own_window = -1, .zmin = 2, .zmax = 2});
  draw({.own_window = -1, .zmin = 3});
  draw({.own_window = -1, .zmax = INFINITY});
  rtl::change_hooks([&](rtl::Hooks& h) { h.console_listener = {}; });
  const std::string range =
      "  Warning: zmin must be below zmax, both finite: the data's range used !!!";
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "  Warning: unknown palette Viridis_x, grey used !!!");
  EXPECT_EQ(lines[1].substr(0, 34), "  Warning: palette points invalid ");
  EXPECT_EQ(lines[2], range);
  EXPECT_EQ(lines[3], range);
  EXPECT_EQ(lines[4], range);
  const gfxwin::Picture base = picture(101);
  for (int unit = 102; unit <= 106; ++unit) EXPECT_EQ(picture(unit).pixels, base.pixels) << unit;
}

// Each form passes the colours on, and the log option takes the limits' log10.
TEST_F(ScreenMap, FormsAndTheLogOptionPassTheColoursOn) {
  const ScreenMapOptions o = {.own_window = -1, .palette = "magma_r", .zmin = 0.5, .zmax = 2};
  const std::vector<double> x = {0, 1}, y = {0, 1};
  std::vector<double> z = {0, 1, 2, 3};
  scr_map(x, y, z, o);
  const std::vector<float> xf = {0, 1}, yf = {0, 1}, zf = {0, 1, 2, 3};
  const float zm[2][2] = {{0, 1}, {2, 3}};
  const double zmd[2][2] = {{0, 1}, {2, 3}};
  scr_map_r4(xf, yf, zf, o);
  scr_map_2d(xf, yf, zm, o);
  scr_map_2d_r8(x, y, zmd, o);
  const gfxwin::Picture base = picture(101);
  for (int unit : {102, 103, 104}) EXPECT_EQ(picture(unit).pixels, base.pixels) << unit;

  std::vector<double> powers = {1, 10, 100, 1000};
  scr_map(x, y, powers, {.log = -1, .own_window = -1, .zmin = 10, .zmax = 100});
  EXPECT_EQ(powers, (std::vector<double>{1, 10, 100, 1000}));  // the log copy was rescaled
  const gfxwin::Picture p = picture(105);
  EXPECT_EQ(p.at(30, 200), kBlack);   // 1, below 10
  EXPECT_EQ(p.at(200, 200), kBlack);  // 10
  EXPECT_EQ(p.at(30, 50), kWhite);    // 100
  EXPECT_EQ(p.at(200, 50), kWhite);   // 1000, beyond 100
}

// A first call with record films its window: its picture and every later
// call's, the whole surface as it is after the call. The next first call or
// clearing the window ends the film and writes it; until then there is no
// file. A later call's record is ignored.
TEST_F(ScreenMap, RecordFilmsEveryPictureOfItsSequence) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("screen_film_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::vector<float> x = {0, 1, 2}, y = {0, 1};
  enum Op { kFirst, kLater, kClear, kOffscreen };
  struct Step {
    Op op;
    const char* record;  // film name, or none
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::map<std::string, std::vector<int>> films;  // film: the steps whose pictures it holds
    double tolerance;                               // mean difference allowed
  } cases[] = {
      {"ended by the next first call",
       {{kFirst, "a.gif"}, {kLater, nullptr}, {kLater, "x.gif"}, {kFirst, nullptr}, {kLater, nullptr}},
       {{"a.gif", {0, 1, 2}}},
       0},
      {"ended by clearing the window",
       {{kFirst, "b.gif"}, {kLater, nullptr}, {kClear, nullptr}, {kLater, nullptr}},
       {{"b.gif", {0, 1}}},
       0},
      {"one after the other",
       {{kFirst, "c.mp4"}, {kLater, nullptr}, {kLater, nullptr}, {kFirst, "d.gif"}, {kLater, nullptr},
        {kFirst, nullptr}},
       {{"c.mp4", {0, 1, 2}}, {"d.gif", {3, 4}}},
       3},
      {"only on a first call", {{kFirst, nullptr}, {kLater, "e.gif"}}, {}, 0},
      {"a map off screen meanwhile",
       {{kFirst, "f.gif"}, {kOffscreen, nullptr}, {kLater, nullptr}, {kFirst, nullptr}},
       {{"f.gif", {0, 2}}},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gfxwin::reset_for_tests();
    screen_map_state() = ScreenMapState{};
    std::vector<gfxwin::Picture> after;
    std::vector<std::string> open;  // films started and not yet ended
    for (std::size_t k = 0; k < c.steps.size(); ++k) {
      const Step& step = c.steps[k];
      if (step.op == kFirst || step.op == kClear) open.clear();  // this step ends the film before
      if (step.op == kClear) {
        gfxwin::clear_window(0);
      } else if (step.op == kOffscreen) {
        const OffscreenMap offscreen;
        scr_map_r4(x, y, std::vector<float>{9, 8, 7, 6, 5, 4}, {.own_window = -1});
      } else {
        const float f = static_cast<float>(k);
        const std::vector<float> z = {f, 1, 2 + f, 0, 1 + f, 9};
        ScreenMapOptions o{.own_window = -1, .continuation = step.op == kLater ? -1 : 0};
        std::string film;
        if (step.record) {
          film = (dir / step.record).string();
          o.record = film;
        }
        scr_map_r4(x, y, z, o);
        if (step.record && step.op == kFirst) open.push_back(film);
      }
      after.push_back(picture(gfxwin::active_unit()));
      // A film being recorded is not on disk yet.
      if (step.op == kLater || step.op == kOffscreen) {
        for (const auto& film : open) EXPECT_FALSE(fs::exists(film)) << film << " at step " << k;
      }
    }
    gfxwin::end_film(gfxwin::active_unit());  // as the program's end does
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
      ++files;
      const std::string name = entry.path().filename().string();
      const auto want = c.films.find(name);
      if (want == c.films.end()) {
        ADD_FAILURE() << "film not asked for: " << name;
        continue;
      }
      const mapfilm::testing::Decoded d = mapfilm::testing::read_film(entry.path().string());
      ASSERT_EQ(d.frames.size(), want->second.size()) << name;
      for (std::size_t f = 0; f < d.frames.size(); ++f) {
        const gfxwin::Picture& p = after[static_cast<std::size_t>(want->second[f])];
        ASSERT_GE(d.width, p.width);
        double sum = 0;
        for (int py = 0; py < p.height; ++py)
          for (int px = 0; px < p.width; ++px)
            for (int ch = 0; ch < 3; ++ch)
              sum += std::abs(int{d.frames[f][(static_cast<std::size_t>(py) * d.width + px) * 3 + ch]} -
                              static_cast<int>(p.at(px, py) >> (16 - 8 * ch) & 0xFF));
        EXPECT_LE(sum / (3.0 * p.width * p.height), c.tolerance) << name << " frame " << f;
      }
    }
    EXPECT_EQ(files, c.films.size());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace mapscreen

namespace mapscreen {
namespace {

// The circle of z = x^2 + y^2 (41 x 41 points over -1 .. 1) at level 0.26:
// every pixel of the contour colour lies on it (within a pixel and the
// chords across the squares), all around it, except where a NaN on it
// opens the line; as a list of levels or as a count inside the caller's
// range; in the frame's colour unless another is asked; never in the text
// column.
TEST_F(ScreenMap, ContoursOfAKnownFieldDrawItsCircle) {
  const double one[] = {0.26};
  const maparg::Colour red{1, 0, 0};
  const struct {
    ScreenMapOptions o;
    bool nan;
    std::uint32_t colour;
  } cases[] = {
      {{.contours = std::span<const double>(one), .contour_colour = red}, false, kRed},
      {{.zmin = 0, .zmax = 0.52, .contours = 1, .contour_colour = red}, false, kRed},
      {{.contours = std::span<const double>(one), .contour_colour = red}, true, kRed},
      {{.contours = std::span<const double>(one)}, false, kMagenta},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    std::vector<double> x, z;
    for (int i = 0; i <= 40; ++i) x.push_back(-1 + 0.05 * i);
    for (const double b : x)
      for (const double a : x) z.push_back(a * a + b * b);
    if (c.nan) z[20 * 41 + 30] = NAN;
    ScreenMapOptions o = c.o;
    o.size = 3;
    o.own_window = -1;
    scr_map(x, x, z, o);
    const gfxwin::Picture p = picture(screen_map_state().unit_counter);
    // Column 4 + round((x + 1) * 327.5), row 659 - round((y + 1) * 327.5).
    int off = 0, near_nan = 0, seen = 0;
    std::array<int, 24> around{};
    for (int row = 4; row <= 659; ++row)
      for (int col = 4; col < 1005; ++col) {
        if (p.at(col, row) != c.colour) continue;
        const double px = (col - 4) / 327.5 - 1, py = (659 - row) / 327.5 - 1;
        if (std::fabs(px) > 1 || std::fabs(py) > 1) {
          off += c.colour != kMagenta;  // beyond the map (the frame there is magenta)
          continue;
        }
        const double r = std::hypot(px, py);
        if (std::fabs(r - std::sqrt(0.26)) > 2 / 327.5 + 0.01) {
          // The frame's own pixels lie on the border, not inside the map.
          off += std::fabs(px) < 0.98 && std::fabs(py) < 0.98;
          continue;
        }
        ++seen;
        around[static_cast<std::size_t>((std::atan2(py, px) + M_PI) / (2 * M_PI) * 24) % 24]++;
        near_nan += std::hypot(px - 0.5, py) < 0.04;
      }
    EXPECT_EQ(off, 0);
    EXPECT_GT(seen, 800);  // of some 1050 along the circle
    if (c.nan) { EXPECT_EQ(near_nan, 0); }
    for (std::size_t b = 0; b < around.size(); ++b)
      if (!c.nan || (b != 11 && b != 12)) { EXPECT_GT(around[b], 20) << "angle bin " << b; }
  }
}

}  // namespace
}  // namespace mapscreen
