#pragma once
// Surface: the drawing surface of one window and its drawing state.
//
// A pixel raster (origin top-left, x to the right, y downwards) with the
// viewport, the window coordinates, the current position, the graphics,
// text and background colours, the current font and the text cursor of the
// window. Every operation of graphics.h acts on one Surface; the surface
// itself knows nothing of widgets or threads, so it can be tested pixel by
// pixel on its own.
//
// Pixel rules: rectangles include both corners; everything drawn is clipped
// to the clip rectangle; window coordinates map to pixels as
//   column = cx1 + round((wx - wx1) * sx)
//   row    = cy2 - round((wy - wy1) * sy)   (upward flag)
//            cy1 + round((wy - wy1) * sy)   (otherwise)
// with sx = (cx2 - cx1) / (wx2 - wx1), sy = (cy2 - cy1) / (wy2 - wy1), and
// round() adding 0.5 to a positive product, subtracting 0.5 from a zero or
// negative one and dropping the fraction.

#include <QImage>

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gfxwin/font_list.h"
#include "gfxwin/graphics.h"

namespace gfxwin {

// The surface of every window: the largest drawing area of the screen map
// (1005 x 662) with one row to spare.
inline constexpr int kSurfaceWidth = 1005;
inline constexpr int kSurfaceHeight = 663;

// The text window: 80 columns and 30 rows of 8 x 16 pixel cells at the
// top-left of the surface.
inline constexpr int kTextColumns = 80;
inline constexpr int kTextRows = 30;
inline constexpr int kCellWidth = 8;
inline constexpr int kCellHeight = 16;

inline constexpr int kPaletteSize = 16;

// The default palette as RGB values (red in the lowest byte).
inline constexpr std::array<std::int32_t, kPaletteSize> kDefaultPalette = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

// The 0xRRGGBB pixel value of an RGB value (red in the lowest byte).
constexpr std::uint32_t pixel_of_rgb(std::int32_t rgb) {
  const auto v = static_cast<std::uint32_t>(rgb);
  return (v & 0xFFu) << 16 | (v & 0xFF00u) | (v >> 16 & 0xFFu);
}

// The product rounding of the window-coordinate rule: -0.5 -> -1, 0.5 -> 1,
// -0.3 -> 0. Requires: |p| well inside the int range.
inline int round_product(double p) {
  return static_cast<int>(p > 0 ? p + 0.5 : p - 0.5);
}

class Surface {
 public:
  explicit Surface(int width = kSurfaceWidth, int height = kSurfaceHeight);
  // Copies own their pixels (the rectangles write through a pointer to them).
  Surface(const Surface& other);
  Surface& operator=(const Surface& other);

  int width() const { return image_.width(); }
  int height() const { return image_.height(); }
  const QImage& image() const { return image_; }
  // The pixels as 0xRRGGBB values, row by row.
  Picture picture() const;

  // area 0: the whole surface in the background colour, text cursor at row
  // 1, column 1. Other areas change nothing.
  void clear(std::int16_t area);

  std::int16_t set_color_index(std::int16_t index);
  std::int32_t set_rgb_color(std::int32_t rgb);
  // The drawing colour as an RGB value.
  std::int32_t current_rgb() const;

  std::int16_t rectangle(std::int16_t control, std::int16_t x1, std::int16_t y1, std::int16_t x2,
                         std::int16_t y2);
  void set_viewport(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2);
  std::int16_t set_window_coords(bool upward, double wx1, double wy1, double wx2, double wy2);
  std::int16_t rectangle_w(std::int16_t control, double wx1, double wy1, double wx2, double wy2);
  // For i = 0 .. n-1: set_rgb_color(rgb[i]) and rectangle_w(kFillInterior,
  // edges[i], lower, edges[i + 1], upper); each edge is mapped only once.
  void fill_cell_row(const std::int32_t* rgb, const double* edges, std::size_t n, double lower,
                     double upper);

  // A straight line from (wx1, wy1) to (wx2, wy2) in window coordinates,
  // both ends mapped as rectangle_w maps corners and included, one pixel
  // wide (each step of the longer direction one pixel), clipped.
  void line_w(double wx1, double wy1, double wx2, double wy2);

  // For n cells bounded by bounds[0 .. n] in window coordinates, along x
  // (`columns`) or y, mapped as fill_cell_row maps its edges and rows: the
  // cell painted last on each pixel column (row) of the clip rectangle, from
  // its first one; -1 where no cell is. clip_left() and clip_top() give the
  // first column and row.
  std::vector<int> last_cells(bool columns, const double* bounds, std::size_t n) const;
  int clip_left() const { return clip_.x1; }
  int clip_top() const { return clip_.y1; }

  // The current position in surface pixels.
  int position_x() const { return pos_x_; }
  int position_y() const { return pos_y_; }
  WindowPoint move_to_w(double wx, double wy);

  // The font used by draw_text (of UTF-8 text); none: draw_text draws nothing.
  void set_font(std::optional<FontChoice> font) { font_ = std::move(font); }
  const std::optional<FontChoice>& font() const { return font_; }
  void draw_text(std::string_view text);

  std::int16_t set_video_mode(std::int16_t mode);
  std::int16_t set_text_color(std::int16_t index);
  std::int16_t text_color() const { return text_color_; }

  // Console text: writes the characters of UTF-8 `text`, one a cell, at the
  // text cursor in the text colour on the background colour, wrapping after
  // column 80 and scrolling the text window after row 30.
  void put_text(std::string_view text);
  // Ends the text line: the cursor goes to column 1 of the next row.
  void new_line();
  // Removes the character before the text cursor on its row (backspace).
  void erase_back();
  int text_row() const { return row_; }
  int text_column() const { return column_; }

 private:
  struct Span {
    int x1, y1, x2, y2;  // surface pixels, corners included
  };

  void reset_drawing_state();
  void recompute_scale();
  // Window coordinates to surface pixels; false for a point that has no pixel
  // (not a number, or far outside any surface).
  bool map_point(double wx, double wy, int& col, int& row) const;
  bool map_column(double wx, int& col) const;
  bool map_row(double wy, int& row) const;
  // Draws a rectangle given in surface pixels, clipped.
  void draw_rect(std::int16_t control, int x1, int y1, int x2, int y2);
  void fill_clipped(int x1, int y1, int x2, int y2, std::uint32_t pixel);
  void fill_cell_row(int row);
  void scroll_text_up();

  QImage image_;
  // The image's pixels and bytes per row, taken once: the image is never
  // shared, so they stay valid.
  uchar* bits_ = nullptr;
  std::size_t stride_ = 0;
  void take_bits();
  // Viewport origin and clip rectangle, surface pixels.
  int origin_x_ = 0;
  int origin_y_ = 0;
  Span clip_{};
  // Window coordinates and their scale.
  double wx1_ = 0, wy1_ = 0, wx2_ = 1, wy2_ = 1;
  bool upward_ = false;
  double sx_ = 1, sy_ = 1;
  // Current position, surface pixels.
  int pos_x_ = 0;
  int pos_y_ = 0;
  // Graphics colour: the palette index or the RGB value, whichever was set last.
  std::int16_t color_index_ = kPaletteSize - 1;
  std::int32_t rgb_ = 0xFFFFFF;
  bool rgb_last_ = false;
  std::uint32_t pixel_ = 0xFFFFFFFF;  // what the drawing colour writes into the image
  std::int16_t text_color_ = 15;
  std::int16_t background_ = 0;
  std::array<std::int32_t, kPaletteSize> palette_ = kDefaultPalette;
  std::optional<FontChoice> font_;
  // Text cursor, 1-based.
  int row_ = 1;
  int column_ = 1;
};

// --- The hot path of the cell painting, inline ---

// Products are limited to this many pixels before rounding, so that any
// finite coordinate has a pixel (far outside every surface).
inline constexpr double kFarAway = 1.0e8;
inline constexpr std::uint32_t kOpaque = 0xFF000000u;

inline std::int32_t Surface::current_rgb() const {
  return rgb_last_ ? rgb_ : palette_[static_cast<std::size_t>(color_index_)];
}

inline std::int32_t Surface::set_rgb_color(std::int32_t rgb) {
  const std::int32_t previous = current_rgb();
  rgb_ = rgb & 0xFFFFFF;
  rgb_last_ = true;
  pixel_ = kOpaque | pixel_of_rgb(rgb_);
  return previous;
}

inline void Surface::fill_clipped(int x1, int y1, int x2, int y2, std::uint32_t pixel) {
  x1 = std::max(x1, clip_.x1);
  y1 = std::max(y1, clip_.y1);
  x2 = std::min(x2, clip_.x2);
  y2 = std::min(y2, clip_.y2);
  if (x1 > x2 || y1 > y2) return;
  uchar* const bits = bits_;
  const std::size_t stride = stride_;
  const auto n = static_cast<std::size_t>(x2 - x1 + 1);
  auto* const first = reinterpret_cast<std::uint32_t*>(bits + stride * static_cast<std::size_t>(y1)) + x1;
  if (n <= 8) {
    for (int y = y1; y <= y2; ++y) {
      auto* line = reinterpret_cast<std::uint32_t*>(bits + stride * static_cast<std::size_t>(y)) + x1;
      for (std::size_t k = 0; k < n; ++k) line[k] = pixel;
    }
    return;
  }
  std::fill(first, first + n, pixel);
  // The first row is right: copying it is faster than filling the others.
  for (int y = y1 + 1; y <= y2; ++y)
    std::memcpy(bits + stride * static_cast<std::size_t>(y) + sizeof(std::uint32_t) * static_cast<std::size_t>(x1),
                first, n * sizeof(std::uint32_t));
}

inline void Surface::draw_rect(std::int16_t control, int x1, int y1, int x2, int y2) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (control == kFillInterior) {
    fill_clipped(x1, y1, x2, y2, pixel_);
  } else {
    fill_clipped(x1, y1, x2, y1, pixel_);
    fill_clipped(x1, y2, x2, y2, pixel_);
    fill_clipped(x1, y1, x1, y2, pixel_);
    fill_clipped(x2, y1, x2, y2, pixel_);
  }
}

// A column and a row are mapped independently of each other (the rule has
// no cross term), so a mapped edge can be reused by the next cell.
inline bool Surface::map_column(double wx, int& col) const {
  double px = (wx - wx1_) * sx_;
  if (px != px) return false;  // not a number
  px = px < -kFarAway ? -kFarAway : px > kFarAway ? kFarAway : px;
  col = clip_.x1 + round_product(px);
  return true;
}

inline bool Surface::map_row(double wy, int& row) const {
  double py = (wy - wy1_) * sy_;
  if (py != py) return false;
  py = py < -kFarAway ? -kFarAway : py > kFarAway ? kFarAway : py;
  const int ry = round_product(py);
  row = upward_ ? clip_.y2 - ry : clip_.y1 + ry;
  return true;
}

inline bool Surface::map_point(double wx, double wy, int& col, int& row) const {
  const bool column_ok = map_column(wx, col);
  const bool row_ok = map_row(wy, row);
  return column_ok && row_ok;
}

inline void Surface::fill_cell_row(const std::int32_t* rgb, const double* edges, std::size_t n,
                                   double lower, double upper) {
  int r1 = 0, r2 = 0, left = 0;
  const bool lower_ok = map_row(lower, r1);  // both rows are mapped, whatever the first gives
  const bool rows_ok = map_row(upper, r2) && lower_ok;
  bool left_ok = map_column(edges[0], left);
  for (std::size_t i = 0; i < n; ++i) {
    set_rgb_color(rgb[i]);
    int right = 0;
    const bool right_ok = map_column(edges[i + 1], right);
    if (rows_ok && left_ok && right_ok) draw_rect(kFillInterior, left, r1, right, r2);
    left = right;
    left_ok = right_ok;
  }
}

inline std::int16_t Surface::rectangle_w(std::int16_t control, double wx1, double wy1, double wx2,
                                  double wy2) {
  if (control != kBorder && control != kFillInterior) return 0;
  int c1 = 0, r1 = 0, c2 = 0, r2 = 0;
  if (!map_point(wx1, wy1, c1, r1) || !map_point(wx2, wy2, c2, r2)) return 0;
  draw_rect(control, c1, r1, c2, r2);
  return 1;
}

}  // namespace gfxwin
