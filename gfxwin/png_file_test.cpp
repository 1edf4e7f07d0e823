#include "gfxwin/png_file.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cstdint>
#include <string>
#include <vector>

namespace gfxwin {
namespace {

QImage decoded(const std::string& png) {
  return QImage::fromData(reinterpret_cast<const uchar*>(png.data()),
                          static_cast<int>(png.size()), "PNG");
}

TEST(PngFile, HoldsThePixelsOfRowsWithPadding) {
  // Three pixels a row, each row padded to 16 bytes: the padding is not a pixel.
  const int width = 3, height = 2;
  std::vector<std::uint8_t> rows(16 * height, 0xEE);
  const std::uint32_t colours[height][width] = {{0xFF0000, 0x00FF00, 0x0000FF},
                                                {0x000000, 0x808080, 0xFFFFFF}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c)
        rows[static_cast<std::size_t>(16 * y + 3 * x + c)] =
            static_cast<std::uint8_t>(colours[y][x] >> (16 - 8 * c));

  const std::string png = png_file_bytes(rows.data(), width, height, 16);
  ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  const QImage image = decoded(png);
  ASSERT_EQ(image.width(), width);
  ASSERT_EQ(image.height(), height);
  EXPECT_FALSE(image.hasAlphaChannel());
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      EXPECT_EQ(image.pixel(x, y) & 0xFFFFFFu, colours[y][x]) << x << ", " << y;
}

}  // namespace
}  // namespace gfxwin
