#include "gfxwin/graphics.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "gfxwin/font_list.h"
#include "gfxwin/graphics_testing.h"
#include "gfxwin/unit.h"

namespace gfxwin {
namespace {

class Graphics : public testing::Test {
 protected:
  void SetUp() override { reset_for_tests(); }
  static Picture picture(int unit) {
    Picture p;
    EXPECT_TRUE(snapshot(unit, p));
    return p;
  }
};

TEST_F(Graphics, UnitsAndTheActiveWindow) {
  EXPECT_EQ(active_unit(), kConsoleUnit);
  EXPECT_EQ(activate_unit(7), -1);  // no window: nothing changes
  EXPECT_EQ(active_unit(), kConsoleUnit);
  Picture p;
  EXPECT_FALSE(snapshot(7, p));
  EXPECT_EQ(window_title(7), "");

  open_unit(7, "USER", " Seven ", "UNKNOWN");
  EXPECT_EQ(window_title(7), "Seven");
  EXPECT_EQ(active_unit(), kConsoleUnit);  // opening does not activate
  EXPECT_EQ(activate_unit(7), 0);
  set_color_index(15);
  rectangle(kFillInterior, 3, 3, 3, 3);
  EXPECT_EQ(picture(7).at(3, 3), 0xFFFFFFu);
  EXPECT_EQ(picture(kConsoleUnit).at(3, 3), 0x000000u);

  // A failed activation leaves the drawing where it was.
  EXPECT_EQ(activate_unit(8), -1);
  rectangle(kFillInterior, 4, 3, 4, 3);
  EXPECT_EQ(picture(7).at(4, 3), 0xFFFFFFu);

  reset_for_tests();
  EXPECT_FALSE(snapshot(7, p));
  EXPECT_EQ(active_unit(), kConsoleUnit);
}

TEST_F(Graphics, UnitsThatCannotBeOpenedAreFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  open_unit(3, "user", "three", "UNKNOWN");
  EXPECT_EXIT(open_unit(3, "USER", "again", "UNKNOWN"), testing::ExitedWithCode(1),
              "cannot open window unit 3");
  EXPECT_EXIT(open_unit(-1, "USER", "negative", "UNKNOWN"), testing::ExitedWithCode(1),
              "cannot open window unit -1");
  EXPECT_EXIT(open_unit(4, "Map.dat", "file", "UNKNOWN"), testing::ExitedWithCode(1),
              "cannot open window unit 4");
  EXPECT_EXIT(open_unit(kConsoleUnit, "USER", "console", "UNKNOWN"), testing::ExitedWithCode(1),
              "cannot open window unit 0");
}
// Units opened off screen are drawn like any other but never reach the
// runtime, and they are gone afterwards; the unit active before is again.
TEST_F(Graphics, OffscreenUnitsHaveNoWindowAndCloseAfterwards) {
  int opened = 0, activated = 0;
  WindowHost host;
  host.opened = [&](const std::shared_ptr<Unit>&) { ++opened; };
  host.activated = [&](const std::shared_ptr<Unit>&) { ++activated; };
  set_window_host(host);
  open_unit(7, "USER", "Seven", "UNKNOWN");
  activate_unit(7);
  {
    OffscreenDrawing offscreen;
    open_unit(8, "USER", "Eight", "UNKNOWN");
    EXPECT_EQ(activate_unit(8), 0);
    set_color_index(15);
    rectangle(kFillInterior, 3, 3, 3, 3);
    EXPECT_EQ(picture(8).at(3, 3), 0xFFFFFFu);
    EXPECT_EQ(picture(7).at(3, 3), 0x000000u);
  }
  set_window_host({});
  EXPECT_EQ(opened, 1);     // unit 7 only
  EXPECT_EQ(activated, 1);
  Picture p;
  EXPECT_FALSE(snapshot(8, p));
  EXPECT_EQ(active_unit(), 7);
  open_unit(8, "USER", "Eight again", "UNKNOWN");  // the number is free again
  EXPECT_EQ(window_title(8), "Eight again");
}


TEST_F(Graphics, ClearWindowPaintsTheBackground) {
  set_color_index(12);
  rectangle(kFillInterior, 0, 0, 1004, 662);
  EXPECT_EQ(picture(kConsoleUnit).at(500, 300), 0xFF0000u);
  clear_window(1);  // only the whole window is known
  EXPECT_EQ(picture(kConsoleUnit).at(500, 300), 0xFF0000u);
  clear_window(0);
  const Picture p = picture(kConsoleUnit);
  for (std::uint32_t v : p.pixels) ASSERT_EQ(v, 0u);
}

TEST(FontOptions, ParsedWithoutRegardToCase) {
  const FontRequest modern = parse_font_options("t'modern'h14w9");
  EXPECT_EQ(modern.face, "modern");
  EXPECT_EQ(modern.height, 14);
  EXPECT_EQ(modern.width, 9);
  const FontRequest times = parse_font_options("T'Tms Rmn'H10   ");
  EXPECT_EQ(times.face, "Times New Roman");
  EXPECT_EQ(times.height, 10);
  EXPECT_EQ(times.width, 0);
  EXPECT_EQ(parse_font_options("t'helv'").face, "Arial");
  EXPECT_EQ(parse_font_options("t'COURIER'w7").face, "Courier New");
  EXPECT_FALSE(parse_font_options("t'unterminated").valid);
  EXPECT_FALSE(parse_font_options("t'" + std::string(32, 'a') + "'").valid);
  EXPECT_TRUE(parse_font_options("t'" + std::string(31, 'a') + "'").valid);
}

TEST(FontOptions, ScalableAtOnceFixedSizeOnlyWhenBothDimensionsMatch) {
  const FontList list({{"Fixed", "Mono", false, 12, 8},
                       {"Modern", "Sans", true, 0, 0},
                       {"Terminal", "Mono", false, 12, 8},
                       {"Terminal", "Mono", false, 16, 8}});
  EXPECT_EQ(list.find(parse_font_options("t'modern'h14w9")), 1);
  EXPECT_EQ(list.find(parse_font_options("t'Terminal'h12w8")), 2);
  EXPECT_EQ(list.find(parse_font_options("t'terminal'h16")), 3);
  EXPECT_EQ(list.find(parse_font_options("t'Terminal'w8")), 2);
  EXPECT_EQ(list.find(parse_font_options("t'Terminal'h13w8")), -1);
  EXPECT_EQ(list.find(parse_font_options("t'Nothing'")), -1);
  EXPECT_EQ(list.find(parse_font_options("h99")), 1);  // any face: the first that qualifies
  EXPECT_EQ(list.find(parse_font_options("h12w8")), 0);
}

TEST_F(Graphics, FontsOfTheSystem) {
  const std::int16_t n = init_fonts();
  EXPECT_GE(n, 2);
  EXPECT_EQ(select_font("t'modern'h14w9"), 0);
  EXPECT_GT(select_font("t'Terminal'h12w8"), 0);
  EXPECT_EQ(select_font("t'Terminal'h13w7"), -1);
  EXPECT_EQ(select_font("t'No such face'"), -1);

  // A failed selection keeps the font: the text is still drawn.
  set_rgb_color(0xFFFFFF);
  move_to_w(10, 10);
  draw_text("Terminal");
  const Picture p = picture(kConsoleUnit);
  int white = 0;
  for (int y = 10; y < 30; ++y)
    for (int x = 10; x < 100; ++x) white += p.at(x, y) == 0xFFFFFFu;
  EXPECT_GT(white, 20);
  EXPECT_EQ(init_fonts(), n);  // built once
}

TEST_F(Graphics, ResultsOfTheOperations) {
  EXPECT_EQ(set_window_coords(true, 1, 0, 1, 1), 0);
  EXPECT_EQ(set_window_coords(true, 0, 0, 10, 10), 1);
  EXPECT_EQ(rectangle_w(kFillInterior, 1, 1, 2, 2), 1);
  EXPECT_EQ(rectangle_w(5, 1, 1, 2, 2), 0);
  move_to_w(2, 3);
  const WindowPoint previous = move_to_w(5, 5);
  EXPECT_NEAR(previous.x, 2, 0.01);  // the pixel's point, within a pixel
  EXPECT_NEAR(previous.y, 3, 0.02);
  EXPECT_EQ(set_video_mode(kDefaultMode), 30);
  EXPECT_EQ(set_text_color(7), 15);
  EXPECT_EQ(set_text_color(300), 7);
}

// A row of cells in one call paints what the colour changes and rectangles
// one by one paint, on uneven edges with rounding at every border, and
// leaves the last colour current.
TEST_F(Graphics, CellRowEqualsOneCallPerCell) {
  const std::int32_t colours[] = {0x102030, 0x405060, 0x708090, 0xA0B0C0, 0x0000FF};
  const double edges[] = {-1.9, -1.25, -0.3333, 0.5, 1.75, 2.0};
  for (int unit : {1, 2}) {
    open_unit(unit, "USER", "cells", "UNKNOWN");
    activate_unit(unit);
    set_viewport(4, 4, 577, 266);
    set_window_coords(true, -1.9, -1.8, 6.38, 2.0);
  }
  activate_unit(1);
  for (int i = 0; i < 5; ++i) {
    set_rgb_color(colours[i]);
    rectangle_w(kFillInterior, edges[i], -0.7, edges[i + 1], 0.9);
  }
  activate_unit(2);
  fill_cell_row_w(colours, edges, 5, -0.7, 0.9);
  EXPECT_EQ(set_rgb_color(0), 0x0000FF);
  EXPECT_EQ(picture(2).pixels, picture(1).pixels);
  EXPECT_EQ(picture(2).at(30, 150), 0x302010u);
}

}  // namespace
// A window that never shows its picture (a show event lost on a loaded
// desktop) holds the program up once, for a bounded time, and not again
// until it shows a picture; one that shows it ends the wait at once.
TEST(WaitUntilShown, AWindowThatShowsNothingNeverHoldsTheProgramForEver) {
  Unit unit(7, "never shown");
  {
    std::lock_guard<SurfaceLock> lock(surface_mutex());
    unit.shown = 0;  // a window shows the unit, and has shown nothing yet
    unit.drawn = 3;
  }
  wait_until_shown(unit);  // runs out
  const auto start = std::chrono::steady_clock::now();
  for (int k = 0; k < 100; ++k) wait_until_shown(unit);  // end at once
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));  // not 100 waits of 2 s
  std::thread window([&unit] {
    std::lock_guard<SurfaceLock> lock(surface_mutex());
    unit.shown = 2;  // a picture shown at last, not yet the newest
  });
  window.join();
  pictures_shown();
  {
    std::lock_guard<SurfaceLock> lock(surface_mutex());
    unit.drawn = 2;
  }
  wait_until_shown(unit);  // shown: ends at once
}

}  // namespace gfxwin
