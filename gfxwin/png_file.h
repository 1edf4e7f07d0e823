#pragma once
// Pictures as PNG files in memory, for callers that show pixels elsewhere (a
// notebook shows a picture from the bytes of its PNG file).

#include <cstdint>
#include <string>

namespace gfxwin {

// The bytes of a PNG file (8 bits a channel, RGB, no alpha) holding the
// picture given row by row from its top, each pixel three bytes red, green,
// blue, each row `row_bytes` bytes after the one before. Empty when it cannot
// be made (a picture too large for Qt's images, storage that cannot be had).
// Requires: width > 0, height > 0, row_bytes >= 3 * width.
std::string png_file_bytes(const std::uint8_t* rgb, int width, int height, std::int64_t row_bytes);

}  // namespace gfxwin
