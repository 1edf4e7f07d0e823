#include "gfxwin/surface.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace gfxwin {
namespace {

constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kWhite = 0xFFFFFF;

// The number of pixels of the colour in the rectangle (corners included).
int count(const Picture& p, int x1, int y1, int x2, int y2, std::uint32_t colour) {
  int n = 0;
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) n += p.at(x, y) == colour;
  return n;
}

int count_all(const Picture& p, std::uint32_t colour) {
  return count(p, 0, 0, p.width - 1, p.height - 1, colour);
}

TEST(Surface, StartsBlackWithTheWholeSurfaceAsViewport) {
  Surface s;
  EXPECT_EQ(s.width(), 1005);
  EXPECT_EQ(s.height(), 663);
  const Picture p = s.picture();
  EXPECT_EQ(count_all(p, kBlack), 1005 * 663);
  s.set_color_index(15);
  s.rectangle(kFillInterior, 1004, 662, 1004, 662);  // the last pixel can be drawn
  EXPECT_EQ(s.picture().at(1004, 662), kWhite);
}

TEST(Surface, RectanglesIncludeBothCorners) {
  Surface s;
  s.set_color_index(15);
  EXPECT_EQ(s.rectangle(kFillInterior, 5, 7, 2, 3), 1);  // corners sorted
  Picture p = s.picture();
  EXPECT_EQ(count(p, 2, 3, 5, 7, kWhite), 4 * 5);
  EXPECT_EQ(count_all(p, kWhite), 4 * 5);

  s.clear(0);
  s.rectangle(kFillInterior, 9, 9, 9, 9);  // 1 x 1: one pixel
  p = s.picture();
  EXPECT_EQ(p.at(9, 9), kWhite);
  EXPECT_EQ(count_all(p, kWhite), 1);

  s.clear(0);
  s.set_color_index(5);
  s.rectangle(kBorder, 1, 1, 270, 270);
  p = s.picture();
  EXPECT_EQ(p.at(1, 1), 0x800080u);
  EXPECT_EQ(p.at(270, 270), 0x800080u);
  EXPECT_EQ(p.at(1, 100), 0x800080u);
  EXPECT_EQ(p.at(2, 2), kBlack);  // one pixel wide, interior untouched
  EXPECT_EQ(count_all(p, 0x800080u), 4 * 269);

  s.clear(0);
  for (int control : {0, 1, 4, -3}) EXPECT_EQ(s.rectangle(static_cast<std::int16_t>(control), 0, 0, 10, 10), 0);
  EXPECT_EQ(count_all(s.picture(), kBlack), 1005 * 663);
}

TEST(Surface, ViewportSetsOriginAndClips) {
  Surface s;
  s.set_color_index(15);
  s.set_viewport(110, 60, 10, 20);  // origin (10, 20), clip (10, 20) .. (110, 60)
  s.rectangle(kFillInterior, 0, 0, 0, 0);
  Picture p = s.picture();
  EXPECT_EQ(p.at(10, 20), kWhite);
  EXPECT_EQ(count_all(p, kWhite), 1);

  s.rectangle(kFillInterior, -50, -50, 500, 500);
  p = s.picture();
  EXPECT_EQ(count_all(p, kWhite), 101 * 41);
  EXPECT_EQ(count(p, 10, 20, 110, 60, kWhite), 101 * 41);

  // An outline whose edges lie outside the clip rectangle shows only the
  // edges inside it.
  s.clear(0);
  s.rectangle(kBorder, -5, 10, 50, 100);
  p = s.picture();
  EXPECT_EQ(count(p, 10, 30, 60, 30, kWhite), 51);  // top edge, row 30, from the clip's left
  EXPECT_EQ(p.at(60, 45), kWhite);                   // right edge
  EXPECT_EQ(count_all(p, kWhite), 51 + 30);

  // Limited to the surface.
  s.clear(0);
  s.set_viewport(1000, 600, 3000, 3000);
  s.rectangle(kFillInterior, 0, 0, 2000, 2000);
  EXPECT_EQ(count_all(s.picture(), kWhite), 5 * 63);
}

TEST(Surface, WindowCoordinatesWithTheUpwardFlag) {
  Surface s;
  s.set_color_index(15);
  s.set_viewport(10, 10, 110, 60);
  EXPECT_EQ(s.set_window_coords(true, 100, 50, 0, 0), 1);  // pairs sorted
  s.rectangle_w(kFillInterior, 0, 0, 0, 0);                // wy1 on the bottom edge
  s.rectangle_w(kFillInterior, 100, 50, 100, 50);          // wy2 on the top edge
  Picture p = s.picture();
  EXPECT_EQ(p.at(10, 60), kWhite);
  EXPECT_EQ(p.at(110, 10), kWhite);
  EXPECT_EQ(count_all(p, kWhite), 2);

  s.clear(0);
  s.set_window_coords(false, 0, 0, 100, 50);
  s.rectangle_w(kFillInterior, 0, 0, 0, 0);
  s.rectangle_w(kFillInterior, 100, 50, 100, 50);
  p = s.picture();
  EXPECT_EQ(p.at(10, 10), kWhite);
  EXPECT_EQ(p.at(110, 60), kWhite);

  // Equal bounds are refused and change nothing.
  EXPECT_EQ(s.set_window_coords(true, 5, 0, 5, 50), 0);
  EXPECT_EQ(s.set_window_coords(true, 0, 7, 100, 7), 0);
  s.move_to_w(100, 50);
  EXPECT_EQ(s.position_x(), 110);
  EXPECT_EQ(s.position_y(), 60);

  // Products are rounded half away from zero; a zero product stays zero.
  const struct {
    double wx;
    int column;
  } cases[] = {{0.5, 11}, {0.49, 10}, {0, 10}, {-0.3, 10}, {-0.5, 9}, {-1.5, 8}, {-1.49, 9}};
  for (const auto& c : cases) {
    s.move_to_w(c.wx, 0);
    EXPECT_EQ(s.position_x(), c.column) << c.wx;
  }
  EXPECT_EQ(round_product(-0.5), -1);
  EXPECT_EQ(round_product(0.5), 1);
  EXPECT_EQ(round_product(-0.3), 0);
}

// The screen map's small area: x over 0 .. X2 and y over 0 .. 1 upwards on
// the viewport (4, 4) .. (577, 266), so x maps to 4 + round(x * 131.5) and y
// to 266 - round(y * 262).
TEST(Surface, ScreenMapScaleAndNeighbouringCells) {
  Surface s;
  s.set_viewport(4, 4, 577, 266);
  s.set_window_coords(true, 0, 0, 2.0 * 573 / 263, 1);
  s.set_rgb_color(0);
  s.rectangle_w(kFillInterior, 0, 0, 0.5, 0.5);
  s.set_rgb_color(128 * 65793);
  s.rectangle_w(kFillInterior, 0.5, 0, 1.5, 0.5);
  s.set_rgb_color(0xFFFFFF);
  s.rectangle_w(kFillInterior, 1.5, 0.5, 2, 1);
  const Picture p = s.picture();
  EXPECT_EQ(p.at(70, 266), 0x808080u);  // x = 0.5: column 70
  EXPECT_EQ(p.at(200, 135), 0x808080u);  // y = 0.5: row 135
  EXPECT_EQ(p.at(200, 134), kBlack);
  EXPECT_EQ(p.at(201, 135), kWhite);  // x = 1.5: column 201
  EXPECT_EQ(p.at(267, 4), kWhite);    // (2, 1): column 267, row 4
  EXPECT_EQ(p.at(268, 4), kBlack);
  EXPECT_EQ(p.at(201, 3), kBlack);  // clipped above the viewport
}

TEST(Surface, PaletteClampingAndRgbByteOrder) {
  Surface s;
  EXPECT_EQ(s.set_color_index(1), 15);  // the initial colour is the last entry
  s.rectangle(kFillInterior, 0, 0, 0, 0);
  EXPECT_EQ(s.set_color_index(99), 1);
  s.rectangle(kFillInterior, 1, 0, 1, 0);
  EXPECT_EQ(s.set_color_index(-3), 15);
  s.rectangle(kFillInterior, 2, 0, 2, 0);
  s.set_color_index(12);
  s.rectangle(kFillInterior, 3, 0, 3, 0);
  s.set_color_index(9);
  s.rectangle(kFillInterior, 4, 0, 4, 0);

  // Red in the lowest byte.
  EXPECT_EQ(s.set_rgb_color(0x0000FF), 0xFF0000);  // entry 9 (0, 0, 255) as RGB
  s.rectangle(kFillInterior, 5, 0, 5, 0);
  EXPECT_EQ(s.set_rgb_color(0x00FF00), 0x0000FF);
  s.rectangle(kFillInterior, 6, 0, 6, 0);
  s.set_rgb_color(0x123456);
  s.rectangle(kFillInterior, 7, 0, 7, 0);
  s.set_rgb_color(200 * 65793);
  s.rectangle(kFillInterior, 8, 0, 8, 0);
  EXPECT_EQ(s.set_color_index(3), 9);  // the index set last before the RGB values
  EXPECT_EQ(s.set_rgb_color(0), 0x808000);  // entry 3 (0, 128, 128)

  const Picture p = s.picture();
  const std::uint32_t expected[] = {0x000080, 0xFFFFFF, 0x000000, 0xFF0000, 0x0000FF,
                                    0xFF0000, 0x00FF00, 0x563412, 0xC8C8C8};
  for (int x = 0; x < 9; ++x) EXPECT_EQ(p.at(x, 0), expected[x]) << x;
}

TEST(Surface, TextMovesTheCurrentPosition) {
  Surface s;
  s.set_rgb_color(0xFFFFFF);
  s.set_window_coords(false, 0, 0, 1004, 662);
  s.move_to_w(100, 50);
  s.draw_text("Hello");  // no font selected: nothing
  EXPECT_EQ(s.position_x(), 100);
  EXPECT_EQ(count_all(s.picture(), kWhite), 0);

  s.set_font(FontList::system().select("t'modern'h14w9"));
  s.draw_text("Hello");
  const int after = s.position_x();
  EXPECT_GT(after, 100 + 5 * 4);
  EXPECT_LT(after, 100 + 5 * 14);
  EXPECT_EQ(s.position_y(), 50);
  const Picture p = s.picture();
  EXPECT_GT(count(p, 100, 50, after, 63, kWhite), 20);  // the text's top-left at (100, 50)
  EXPECT_EQ(count(p, 0, 0, 1004, 49, kWhite), 0);
  EXPECT_EQ(count(p, 0, 0, 99, 662, kWhite), 0);
  // Only the drawing colour: the background stays as it was (transparent).
  EXPECT_EQ(count_all(p, kWhite) + count_all(p, kBlack), 1005 * 663);

  s.draw_text("  ");  // blanks count too
  EXPECT_GT(s.position_x(), after);
}

// Texts are UTF-8: "é" (two bytes) draws what Qt draws for U+00E9, one
// character, never "Ã©".
TEST(Surface, TextIsReadAsUtf8) {
  Surface s;
  s.set_rgb_color(0xFFFFFF);
  s.set_window_coords(false, 0, 0, 1004, 662);
  const std::optional<FontChoice> choice = FontList::system().select("t'modern'h14w9");
  ASSERT_TRUE(choice);
  s.set_font(choice);
  s.move_to_w(100, 50);
  s.draw_text("\xC3\xA9");

  QFont font(QString::fromStdString(choice->family));
  font.setPixelSize(choice->pixel_height);
  font.setStretch(choice->stretch);
  font.setStyleStrategy(QFont::NoAntialias);
  font.setHintingPreference(QFont::PreferFullHinting);
  const QFontMetrics metrics(font);
  const QString e_acute(QChar(0xE9));
  const Picture p = s.picture();
  QImage expected(p.width, p.height, QImage::Format_RGB32);
  expected.fill(Qt::black);
  {
    QPainter painter(&expected);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QPoint(100, 50 + metrics.ascent()), e_acute);
  }
  int differing = 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) differing += p.at(x, y) != (expected.pixel(x, y) & 0xFFFFFF);
  EXPECT_EQ(differing, 0);
  EXPECT_GT(count_all(p, kWhite), 10);
  EXPECT_EQ(s.position_x(), 100 + metrics.horizontalAdvance(e_acute));

  // The console window: one cell a character.
  s.put_text("\xC2\xB0" "C");
  EXPECT_EQ(s.text_column(), 3);
}

TEST(Surface, VideoModeReturnsToTheTextWindow) {
  Surface s;
  s.set_color_index(15);
  s.set_viewport(100, 100, 200, 200);
  s.rectangle(kFillInterior, 0, 0, 50, 50);
  EXPECT_EQ(s.set_video_mode(3), 0);  // only the default mode
  EXPECT_EQ(s.picture().at(100, 100), kWhite);

  EXPECT_EQ(s.set_video_mode(kDefaultMode), kTextRows);
  EXPECT_EQ(count_all(s.picture(), kWhite), 0);
  EXPECT_EQ(s.text_row(), 1);
  EXPECT_EQ(s.text_column(), 1);
  s.rectangle(kFillInterior, 0, 0, 0, 0);  // the viewport is the whole surface again
  EXPECT_EQ(s.picture().at(0, 0), kWhite);

  EXPECT_EQ(s.set_text_color(7), 15);
  EXPECT_EQ(s.set_text_color(256), 7);  // out of range: unchanged
  EXPECT_EQ(s.set_text_color(-1), 7);
  EXPECT_EQ(s.text_color(), 7);
}

TEST(Surface, ConsoleTextWrapsAndScrolls) {
  Surface s;
  s.put_text(std::string(85, 'x'));
  EXPECT_EQ(s.text_row(), 2);
  EXPECT_EQ(s.text_column(), 6);
  s.erase_back();
  EXPECT_EQ(s.text_column(), 5);
  for (int i = 0; i < 40; ++i) s.new_line();
  EXPECT_EQ(s.text_row(), kTextRows);
  EXPECT_EQ(count(s.picture(), 0, 0, 639, 479, kWhite), 0);  // scrolled off
}

TEST(SurfaceDeathTest, PixelsThatCannotBeHadAreBadAlloc) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer ends a program on a huge allocation itself";
#endif
  // 30000 x 30000 pixels (3.6 GB) beyond a limit of 1 GB more than the
  // process has: Qt's null image is never painted into.
  EXPECT_EXIT(
      {
        std::size_t pages = 0;
        std::FILE* statm = std::fopen("/proc/self/statm", "r");
        if (statm == nullptr || std::fscanf(statm, "%zu", &pages) != 1) std::_Exit(1);
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = pages * 4096 + (std::size_t{1} << 30);
        setrlimit(RLIMIT_AS, &limit);
        try {
          Surface huge(30000, 30000);
        } catch (const std::bad_alloc&) {
          std::_Exit(3);
        }
        std::_Exit(0);
      },
      testing::ExitedWithCode(3), "");
}

}  // namespace
}  // namespace gfxwin
