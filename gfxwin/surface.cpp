#include "gfxwin/surface.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QRect>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace gfxwin {
namespace {


QFont font_of(const FontChoice& choice) {
  QFont font(QString::fromStdString(choice.family));
  font.setPixelSize(std::max(1, choice.pixel_height));
  font.setStretch(choice.stretch);
  // Glyphs in the drawing colour only, no blended edge pixels: the nearest
  // a window without antialiasing shows.
  font.setStyleStrategy(QFont::NoAntialias);
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

}  // namespace

Surface::Surface(int width, int height)
    : image_(std::max(1, width), std::max(1, height), QImage::Format_RGB32) {
  // Qt leaves an image null when its pixels cannot be had; painting into
  // it would write through a null pointer.
  if (image_.isNull()) throw std::bad_alloc();
  take_bits();
  reset_drawing_state();
  clear(0);
}

Surface::Surface(const Surface& other) { *this = other; }

Surface& Surface::operator=(const Surface& other) {
  if (this == &other) return *this;
  QImage image = other.image_.copy();  // a deep copy, never shared
  if (image.isNull()) throw std::bad_alloc();
  // Every member but the pixels is plain state.
  origin_x_ = other.origin_x_;
  origin_y_ = other.origin_y_;
  clip_ = other.clip_;
  wx1_ = other.wx1_, wy1_ = other.wy1_, wx2_ = other.wx2_, wy2_ = other.wy2_;
  upward_ = other.upward_;
  sx_ = other.sx_, sy_ = other.sy_;
  pos_x_ = other.pos_x_, pos_y_ = other.pos_y_;
  color_index_ = other.color_index_;
  rgb_ = other.rgb_;
  rgb_last_ = other.rgb_last_;
  pixel_ = other.pixel_;
  text_color_ = other.text_color_;
  background_ = other.background_;
  palette_ = other.palette_;
  font_ = other.font_;
  row_ = other.row_;
  column_ = other.column_;
  image_ = std::move(image);
  take_bits();
  return *this;
}

void Surface::take_bits() {
  bits_ = image_.bits();
  stride_ = static_cast<std::size_t>(image_.bytesPerLine());
}

void Surface::reset_drawing_state() {
  origin_x_ = 0;
  origin_y_ = 0;
  clip_ = {0, 0, width() - 1, height() - 1};
  wx1_ = 0;
  wy1_ = 0;
  wx2_ = width() - 1;
  wy2_ = height() - 1;
  upward_ = false;
  recompute_scale();
  pos_x_ = 0;
  pos_y_ = 0;
}

Picture Surface::picture() const {
  Picture p;
  p.width = width();
  p.height = height();
  p.pixels.resize(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
  for (int y = 0; y < p.height; ++y) {
    const auto* line = reinterpret_cast<const std::uint32_t*>(image_.constScanLine(y));
    std::uint32_t* out = p.pixels.data() + static_cast<std::size_t>(y) * p.width;
    for (int x = 0; x < p.width; ++x) out[x] = line[x] & 0x00FFFFFFu;
  }
  return p;
}

void Surface::clear(std::int16_t area) {
  if (area != 0) return;
  const std::uint32_t bg = kOpaque | pixel_of_rgb(palette_[static_cast<std::size_t>(background_)]);
  for (int y = 0; y < height(); ++y) {
    auto* line = reinterpret_cast<std::uint32_t*>(image_.scanLine(y));
    std::fill(line, line + width(), bg);
  }
  row_ = 1;
  column_ = 1;
}

std::int16_t Surface::set_color_index(std::int16_t index) {
  const std::int16_t previous = color_index_;
  color_index_ = std::clamp<std::int16_t>(index, 0, kPaletteSize - 1);
  rgb_last_ = false;
  pixel_ = kOpaque | pixel_of_rgb(palette_[static_cast<std::size_t>(color_index_)]);
  return previous;
}





std::int16_t Surface::rectangle(std::int16_t control, std::int16_t x1, std::int16_t y1,
                                std::int16_t x2, std::int16_t y2) {
  if (control != kBorder && control != kFillInterior) return 0;
  draw_rect(control, origin_x_ + x1, origin_y_ + y1, origin_x_ + x2, origin_y_ + y2);
  return 1;
}

void Surface::set_viewport(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2) {
  const int lx = std::min(x1, x2), hx = std::max(x1, x2);
  const int ly = std::min(y1, y2), hy = std::max(y1, y2);
  origin_x_ = lx;
  origin_y_ = ly;
  clip_ = {std::clamp(lx, 0, width() - 1), std::clamp(ly, 0, height() - 1),
           std::clamp(hx, 0, width() - 1), std::clamp(hy, 0, height() - 1)};
  recompute_scale();
}

std::int16_t Surface::set_window_coords(bool upward, double wx1, double wy1, double wx2,
                                        double wy2) {
  // A pair that is equal, or not a number, gives no scale.
  if (!(wx1 != wx2) || !(wy1 != wy2) || std::isnan(wx1) || std::isnan(wx2) || std::isnan(wy1) ||
      std::isnan(wy2))
    return 0;
  wx1_ = std::min(wx1, wx2);
  wx2_ = std::max(wx1, wx2);
  wy1_ = std::min(wy1, wy2);
  wy2_ = std::max(wy1, wy2);
  upward_ = upward;
  recompute_scale();
  return 1;
}

void Surface::recompute_scale() {
  sx_ = (clip_.x2 - clip_.x1) / (wx2_ - wx1_);
  sy_ = (clip_.y2 - clip_.y1) / (wy2_ - wy1_);
}



std::vector<int> Surface::last_cells(bool columns, const double* bounds, std::size_t n) const {
  const int first = columns ? clip_.x1 : clip_.y1;
  const int last = columns ? clip_.x2 : clip_.y2;
  std::vector<int> cell(static_cast<std::size_t>(last - first + 1), -1);
  auto map = [&](double w, int& p) { return columns ? map_column(w, p) : map_row(w, p); };
  int p1 = 0;
  bool p1_ok = n > 0 && map(bounds[0], p1);
  for (std::size_t i = 0; i < n; ++i) {
    int p2 = 0;
    const bool p2_ok = map(bounds[i + 1], p2);
    if (p1_ok && p2_ok) {
      const int lo = std::max(std::min(p1, p2), first);
      const int hi = std::min(std::max(p1, p2), last);
      for (int p = lo; p <= hi; ++p) cell[static_cast<std::size_t>(p - first)] = static_cast<int>(i);
    }
    p1 = p2;
    p1_ok = p2_ok;
  }
  return cell;
}

WindowPoint Surface::move_to_w(double wx, double wy) {
  WindowPoint previous;
  previous.x = wx1_ + (pos_x_ - clip_.x1) / sx_;
  previous.y = upward_ ? wy1_ + (clip_.y2 - pos_y_) / sy_ : wy1_ + (pos_y_ - clip_.y1) / sy_;
  int col, row;
  if (map_point(wx, wy, col, row)) {
    pos_x_ = col;
    pos_y_ = row;
  }
  return previous;
}

void Surface::draw_text(std::string_view text) {
  if (!font_ || text.empty()) return;
  const QFont font = font_of(*font_);
  const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  const QFontMetrics metrics(font);
  {
    QPainter painter(&image_);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setClipRect(QRect(QPoint(clip_.x1, clip_.y1), QPoint(clip_.x2, clip_.y2)));
    painter.setFont(font);
    painter.setPen(QColor::fromRgb(pixel_));
    painter.drawText(QPoint(pos_x_, pos_y_ + metrics.ascent()), s);
  }
  pos_x_ += metrics.horizontalAdvance(s);
}

std::int16_t Surface::set_video_mode(std::int16_t mode) {
  if (mode != kDefaultMode) return 0;
  reset_drawing_state();
  clear(0);
  return kTextRows;
}

std::int16_t Surface::set_text_color(std::int16_t index) {
  const std::int16_t previous = text_color_;
  if (index >= 0 && index <= 255) text_color_ = index;
  return previous;
}

// --- Console text ---

void Surface::fill_cell_row(int row) {
  const std::uint32_t bg = kOpaque | pixel_of_rgb(palette_[static_cast<std::size_t>(background_)]);
  const int y1 = (row - 1) * kCellHeight;
  const int y2 = std::min(y1 + kCellHeight, height()) - 1;
  const int x2 = std::min(kTextColumns * kCellWidth, width()) - 1;
  for (int y = y1; y <= y2; ++y) {
    auto* line = reinterpret_cast<std::uint32_t*>(image_.scanLine(y));
    std::fill(line, line + x2 + 1, bg);
  }
}

void Surface::scroll_text_up() {
  const int rows = std::min(kTextRows * kCellHeight, height());
  const auto bytes = static_cast<std::size_t>(std::min(kTextColumns * kCellWidth, width())) * 4;
  for (int y = 0; y + kCellHeight < rows; ++y)
    std::memcpy(image_.scanLine(y), image_.constScanLine(y + kCellHeight), bytes);
  fill_cell_row(kTextRows);
}

void Surface::new_line() {
  column_ = 1;
  if (row_ < kTextRows) {
    ++row_;
  } else {
    scroll_text_up();
  }
}

void Surface::put_text(std::string_view text) {
  if (text.empty()) return;
  ensure_font_support();
  QFont font(QString::fromStdString(FontList::system().entries().size() > 1
                                        ? FontList::system().entries()[1].family
                                        : std::string("Monospace")));
  font.setPixelSize(kCellHeight - 2);
  font.setStyleStrategy(QFont::NoAntialias);
  const QFontMetrics metrics(font);
  const std::size_t text_index = static_cast<std::size_t>(std::min<int>(text_color_, kPaletteSize - 1));
  const QColor colour = QColor::fromRgb(kOpaque | pixel_of_rgb(palette_[text_index]));
  const std::uint32_t bg = kOpaque | pixel_of_rgb(palette_[static_cast<std::size_t>(background_)]);
  QPainter painter(&image_);
  painter.setFont(font);
  painter.setPen(colour);
  // One cell a character (UTF-8; bytes that begin none show as U+FFFD).
  const QString characters = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  for (const char32_t c : characters.toUcs4()) {
    if (column_ > kTextColumns) {
      painter.end();
      new_line();
      painter.begin(&image_);
      painter.setFont(font);
      painter.setPen(colour);
    }
    const int x = (column_ - 1) * kCellWidth;
    const int y = (row_ - 1) * kCellHeight;
    painter.fillRect(QRect(x, y, kCellWidth, kCellHeight), QColor::fromRgb(bg));
    painter.drawText(QPoint(x, y + 1 + metrics.ascent()), QString::fromUcs4(&c, 1));
    ++column_;
  }
}

void Surface::erase_back() {
  if (column_ <= 1) return;
  --column_;
  const std::uint32_t bg = kOpaque | pixel_of_rgb(palette_[static_cast<std::size_t>(background_)]);
  const int x = (column_ - 1) * kCellWidth;
  const int y = (row_ - 1) * kCellHeight;
  for (int yy = y; yy < std::min(y + kCellHeight, height()); ++yy) {
    auto* line = reinterpret_cast<std::uint32_t*>(image_.scanLine(yy));
    std::fill(line + x, line + std::min(x + kCellWidth, width()), bg);
  }
}

void Surface::line_w(double wx1, double wy1, double wx2, double wy2) {
  int c1 = 0, r1 = 0, c2 = 0, r2 = 0;
  if (!map_point(wx1, wy1, c1, r1) || !map_point(wx2, wy2, c2, r2)) return;
  // The part of the line inside the clip rectangle (Liang-Barsky), so that
  // a line reaching far outside takes no more steps than pixels it draws.
  const double dc = c2 - c1, dr = r2 - r1;
  double t0 = 0, t1 = 1;
  const double p[4] = {-dc, dc, -dr, dr};
  const double q[4] = {static_cast<double>(c1 - clip_.x1), static_cast<double>(clip_.x2 - c1),
                       static_cast<double>(r1 - clip_.y1), static_cast<double>(clip_.y2 - r1)};
  for (int k = 0; k < 4; ++k) {
    if (p[k] == 0) {
      if (q[k] < 0) return;
      continue;
    }
    const double t = q[k] / p[k];
    if (p[k] < 0) t0 = std::max(t0, t);
    else t1 = std::min(t1, t);
  }
  if (t0 > t1) return;
  const int steps = static_cast<int>(std::ceil(std::max(std::fabs(dc), std::fabs(dr)) * (t1 - t0)));
  for (int s = 0; s <= steps; ++s) {
    const double t = t0 + (steps == 0 ? 0.0 : (t1 - t0) * s / steps);
    const int c = c1 + round_product(dc * t);
    const int r = r1 + round_product(dr * t);
    fill_clipped(c, r, c, r, pixel_);
  }
}

}  // namespace gfxwin
