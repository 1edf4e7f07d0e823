#include "mapscreen/screen_map.h"

#include <cmath>
#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "gfxwin/graphics.h"
#include "maparg/contour.h"
#include "maparg/request.h"
#include "mapscreen/painted_values.h"
#include "mapscreen/screen_call.h"
#include "rtl/checked_math.h"
#include "rtl/console.h"
#include "textfmt/list_record.h"
#include "textfmt/drawn_text.h"
#include "textfmt/fixed_text.h"
#include "textfmt/formatted.h"
#include "rtl/fatal.h"

namespace mapscreen {
namespace {

using maparg::Index;
using maparg::Reduce;
using maparg::text_field;
using maparg::truth;

struct Range {
  double lo;
  double hi;
};

// Smallest and largest value, infinite values left out (they take the ends
// of the grey scale): the first other value, then replaced only on a strict
// comparison, so a value that is not a number is never taken unless it comes
// first. None when no value is finite.
template <class At>
std::optional<Range> search_range(Index n, At at) {
  std::optional<Range> r;
  bool any_finite = false;
  for (Index k = 0; k < n; ++k) {
    const double v = at(k);
    if (std::isinf(v)) continue;
    any_finite = any_finite || !std::isnan(v);
    if (!r) {
      r = Range{v, v};
      continue;
    }
    if (v < r->lo) r->lo = v;
    if (v > r->hi) r->hi = v;
  }
  if (!any_finite) return std::nullopt;
  return r;
}

// Requires: at least one value, every value finite.
Range search_range(const VecView<double>& v) {
  return *search_range(v.size(), [&](Index k) { return v.element(k); });
}

// Grey level of a rescaled value: nearest integer, halves away from zero,
// kept within 0 .. 255 (a value that is not a number is black).
std::int32_t grey_level(double v) {
  if (!(v > 0)) return 0;
  if (v >= 255) return 255;
  // Halves away from zero; v - whole is exact, unlike v + 0.5.
  auto whole = static_cast<std::int32_t>(v);
  if (v - whole >= 0.5) ++whole;
  return whole;
}

std::int16_t pixels(int v) { return static_cast<std::int16_t>(v); }

std::string digits(int value) {
  std::string field(textfmt::kFieldLength, ' ');
  textfmt::write_formatted(field, "(i4)", static_cast<std::int32_t>(value));
  return std::string(textfmt::strip(field));
}

}  // namespace

Area drawing_area(int size, bool own_window) {
  if (size >= 3) return {1005, 662};
  if (size == 2) return {741, 451};
  return own_window ? Area{580, 270} : Area{580, 290};
}

Area painted_area(int size, bool own_window) {
  const Area area = drawing_area(size, own_window);
  return {area.w, area.h + 1};
}

ScreenMapState& screen_map_state() {
  static ScreenMapState state;
  return state;
}

namespace {

// The windows, their surfaces and the state between calls are the program's:
// a screen map paints them under this lock, so that one thread's sequence of
// operations (activate, frame, cells, texts) is never mixed with another's.
// What a call prepares before it paints (texts, colours, log10 values) needs
// no lock. Recursive: an OffscreenMap holds it around the maps it takes.
std::recursive_mutex& painting() {
  static std::recursive_mutex* m = new std::recursive_mutex;  // never destroyed: used at exit
  return *m;
}

}  // namespace

OffscreenMap::OffscreenMap() : lock_(painting()), saved_(screen_map_state()) {
  offscreen_.emplace();
  // The maps off screen are no part of the sequence being filmed: their
  // first calls leave its film going.
  screen_map_state().film_unit = -1;
}

OffscreenMap::~OffscreenMap() {
  offscreen_.reset();
  screen_map_state() = saved_;
}

bool OffscreenMap::picture(gfxwin::Picture& out) const {
  return screen_map_state().unit_counter != saved_.unit_counter &&
         gfxwin::snapshot(screen_map_state().unit_counter, out);
}

namespace {

// The call's picture as a frame of its window's film (when it has one),
// added once: by add(), or when the call returns; never after an error.
class FilmFrame {
 public:
  FilmFrame() = default;
  FilmFrame(const FilmFrame&) = delete;
  FilmFrame& operator=(const FilmFrame&) = delete;
  // A film that cannot be written is a fatal error, which may be thrown.
  ~FilmFrame() noexcept(false) {
    if (std::uncaught_exceptions() == uncaught_) add();
  }
  void add() {
    if (added_) return;
    added_ = true;
    gfxwin::add_film_frame(gfxwin::active_unit());
  }

 private:
  int uncaught_ = std::uncaught_exceptions();
  bool added_ = false;
};

}  // namespace

std::string label_format(double lo, double hi) {
  const double quotient = std::fabs(hi - lo) / std::max(std::fabs(lo), std::fabs(hi));
  int d;
  if (std::isnan(quotient)) {
    d = 3;
  } else if (quotient == 0) {
    d = 16;
  } else {
    const double raw = 2 - std::floor(std::log10(quotient));
    d = raw < 3 ? 3 : raw > 16 ? 16 : static_cast<int>(raw);
  }
  return "(g" + digits(d + 6) + "." + digits(d) + ")";
}

std::string number_text(double value, const std::string& format) {
  std::string field(textfmt::kFieldLength, ' ');
  textfmt::write_formatted(field, format, value);
  return std::string(textfmt::strip(field));
}

void scr_map(VecView<double> x, VecView<double> y, std::span<double> z, OptInt log_option,
             OptText xlabel, OptText ylabel, OptText title, OptInt size, OptInt own_window,
             OptInt continuation) {
  scr_map(x, y, z, {log_option, xlabel, ylabel, title, size, own_window, continuation});
}

void scr_map(VecView<double> x, VecView<double> y, std::span<double> z,
             const ScreenMapOptions& o) {
  scr_map_of_form(x, y, z, o, false);
}

void scr_map_of_form(VecView<double> x, VecView<double> y, std::span<double> z,
                     const ScreenMapOptions& o, bool single_precision) try {

  // Text fields and options.
  const std::string xfield = text_field(o.xlabel, maparg::kDefaultXLabel, Reduce::both);
  const std::string yfield = text_field(o.ylabel, maparg::kDefaultYLabel, Reduce::both);
  std::string tfield = text_field(o.title, maparg::kDefaultTitle, Reduce::both);
  const bool log_scale = truth(o.log);
  const bool own = truth(o.own_window);
  const bool later = truth(o.continuation);
  const std::optional<int> size = o.size;

  // Colours: the table's colour of each level, and the caller's limits.
  const std::array<std::int32_t, 256> level_colour =
      maparg::level_colours(maparg::colour_request(o.palette));
  // The colours of cells that are not a number, and of those beyond the
  // caller's range: black and the table's end colours unless asked.
  const maparg::CellColours asked =
      maparg::cell_colours_request(o.nan_colour, o.under, o.over);
  const std::int32_t nan_colour = asked.nan ? maparg::rgb24(*asked.nan) : 0;

  // Log option: the routine's own copy of log10 values; else z itself.
  std::vector<double> log_copy;
  std::span<double> zz = z;
  if (log_scale) {
    tfield = maparg::log_title(tfield);
    log_copy = maparg::checked_logs(VecView<double>(std::span<const double>(z)));
    zz = log_copy;
  }
  const maparg::OptReal zmin = maparg::map_limit<double>(o.zmin, log_scale);
  const maparg::OptReal zmax = maparg::map_limit<double>(o.zmax, log_scale);
  const maparg::OptReal zcentre = maparg::map_limit<double>(o.zcentre, log_scale);

  const Area area = drawing_area(size.value_or(1), own);
  const int W = area.w;
  const int H = area.h;

  const std::lock_guard<std::recursive_mutex> painting_lock(painting());
  ScreenMapState& state = screen_map_state();

  // The window's film: a first call ends the sequence's film before, and
  // with `record` starts one; every call adds its picture.
  if (!later && state.film_unit >= 0) {
    const int unit = state.film_unit;
    state.film_unit = -1;
    gfxwin::end_film(unit);
  }
  FilmFrame film_frame;

  // Window.
  if (own) {
    if (!later) {
      ++state.unit_counter;
      gfxwin::open_unit(state.unit_counter, "USER", textfmt::strip(tfield), "UNKNOWN");
    }
    gfxwin::activate_unit(state.unit_counter);
  }

  // Frame, on the first call of a sequence.
  if (!later) {
    gfxwin::clear_window(0);
    gfxwin::set_color_index(5);
    gfxwin::rectangle(gfxwin::kBorder, 1, 1, pixels(H), pixels(H));
    gfxwin::set_color_index(1);
    gfxwin::rectangle(gfxwin::kFillInterior, 4, 4, pixels(H - 3), pixels(H - 3));
    if (o.record) {
      const int unit = gfxwin::active_unit();
      gfxwin::start_film(unit, std::string(*o.record), o.fps.value_or(30));
      state.film_unit = unit;
    }
  }

  // Scale. Without cells there is nothing to scale or draw.
  const Index nx = x.size();
  const Index ny = y.size();
  // Coordinates that are not finite give no place on the window: nothing is drawn.
  if (nx == 0 || ny == 0 || !maparg::all_finite(x) || !maparg::all_finite(y)) return;
  const Range xr = search_range(x);
  const Range yr = search_range(y);
  gfxwin::set_viewport(4, 4, pixels(W - 3), pixels(H - 3));
  const double x2 = xr.lo + (xr.hi - xr.lo) * (W - 7) / (H - 7);
  gfxwin::set_window_coords(true, xr.lo, yr.lo, x2, yr.hi);

  // With fewer values than cells nothing is drawn: the cells would be read
  // from beyond z.
  if (static_cast<Index>(zz.size()) < nx * ny) return;
  const std::optional<Range> z_range = search_range(
      static_cast<Index>(zz.size()), [&](Index k) { return zz[static_cast<std::size_t>(k)]; });
  if (!z_range) return;  // no finite value: as when all values are equal
  const Range zr = *z_range;
  // The range of the levels: the caller's, when it is one, else the data's.
  Range ur = zr;
  bool range_given = false;
  if (!zmin && !zmax) maparg::centre_range(zcentre, ur.lo, ur.hi);
  if (zmin || zmax) {
    const Range given{zmin.value_or(zr.lo), zmax.value_or(zr.hi)};
    range_given = maparg::usable_range(given.lo, given.hi);
    if (range_given)
      ur = given;
    else
      maparg::console_line(maparg::kRangeWarning);
  }
  const double zrange = ur.hi - ur.lo;
  if (zrange == 0) return;

  // Cell edges: half-way to the next coordinate, the last at the last one.
  std::vector<double> a(static_cast<std::size_t>(nx));
  std::vector<double> b(static_cast<std::size_t>(ny));
  for (Index i = 0; i + 1 < nx; ++i) a[i] = (x.element(i) + x.element(i + 1)) * 0.5;
  a[nx - 1] = x.element(nx - 1);
  for (Index j = 0; j + 1 < ny; ++j) b[j] = (y.element(j) + y.element(j + 1)) * 0.5;
  b[ny - 1] = y.element(ny - 1);

  // The contour lines, found on the values before they are rescaled: each
  // point between the coordinates of its two grid points, four window
  // coordinates a line.
  std::vector<double> contour_lines;
  const std::vector<double> levels = maparg::contour_levels(o.contours, log_scale, ur.lo, ur.hi);
  const maparg::OptColour contour_colour =
      o.contours ? maparg::contour_colour_request(o.contour_colour) : std::nullopt;
  if (!levels.empty()) {
    const auto place = [](const VecView<double>& c, double q) {
      const Index n = c.size();
      const Index i = std::min(static_cast<Index>(q), n - 2);
      const double lo = c.element(i), hi = c.element(i + 1);
      return lo + (q - static_cast<double>(i)) * (hi - lo);
    };
    maparg::contour_squares(
        nx, ny, levels,
        [&](Index i, Index j) {
          if (i == 0) rtl::check_interruption();
          return zz[static_cast<std::size_t>(j * nx + i)];
        },
        [&](std::size_t, const maparg::ContourSegment& g) {
          contour_lines.insert(contour_lines.end(), {place(x, g.i0), place(y, g.j0),
                                                     place(x, g.i1), place(y, g.j1)});
        });
  }

  // What the window needs for the values under the cursor, taken before z
  // is rescaled; the console window shows none.
  if (own) gfxwin::show_map_values(painted_values(x, y, z, a, b, log_scale, single_precision));

  // Grey levels, in place. A range below 255 / DBL_MAX makes the scale
  // infinite, and finite values of both signs near the limits make the range
  // itself infinite: those maps are rescaled through the ratio to the range
  // instead (halved where the range overflows), so every level stays in
  // 0 .. 255. Every other range keeps the plain product.
  const double scale = 255 / zrange;
  if (std::isinf(scale)) {
    for (double& v : zz) v = (v - ur.lo) / zrange * 255;
  } else if (std::isinf(zrange) && std::isfinite(ur.lo) && std::isfinite(ur.hi)) {
    const double half_range = ur.hi * 0.5 - ur.lo * 0.5;
    for (double& v : zz) v = (v * 0.5 - ur.lo * 0.5) / half_range * 255;
  } else {
    for (double& v : zz) v = (v - ur.lo) * scale;
  }
  // The cells beyond the caller's range, infinite values included, when
  // under or over colours them: -1 below, 1 above, else 0.
  const bool beyond_coloured = range_given && (asked.under || asked.over);
  std::vector<std::int8_t> beyond;
  if (beyond_coloured) {
    beyond.resize(static_cast<std::size_t>(nx * ny));
    for (std::size_t c = 0; c < beyond.size(); ++c)
      beyond[c] = zz[c] < 0 ? -1 : zz[c] > 255 ? 1 : 0;
  }
  // Infinite values take the ends of the scale.
  for (double& v : zz)
    if (std::isinf(v)) v = v > 0 ? 255 : 0;

  // Cells, row by row from the bottom, left to right: cell i of a row runs
  // from edges[i] to edges[i + 1], the first from x(1), in its level's colour
  // (a value that is not a number in nan_colour, black unless asked; one
  // beyond the caller's range in under or over, when asked).
  std::vector<double> edges(static_cast<std::size_t>(nx) + 1);
  edges[0] = x.element(0);
  std::copy(a.begin(), a.end(), edges.begin() + 1);
  std::vector<std::int32_t> colours(static_cast<std::size_t>(nx));
  std::size_t k = 0;
  double lower = y.element(0);
  for (Index j = 0; j < ny; ++j) {
    rtl::check_interruption();
    // A value that is not a number is black whatever the table, as on the
    // PostScript map, unless nan_colour asks another colour.
    for (auto& colour : colours) {
      const double v = zz[k];
      colour = std::isnan(v) ? nan_colour : level_colour[grey_level(v)];
      if (beyond_coloured && beyond[k] != 0) {
        const maparg::OptColour& end = beyond[k] < 0 ? asked.under : asked.over;
        if (end) colour = maparg::rgb24(*end);
      }
      ++k;
    }
    gfxwin::fill_cell_row_w(colours.data(), edges.data(), colours.size(), lower, b[j]);
    lower = b[j];
  }
  state.last_column_edge = a[nx - 1];
  // The contour lines over the cells, in the frame's colour unless asked.
  if (!contour_lines.empty()) {
    if (contour_colour)
      gfxwin::set_rgb_color(maparg::rgb24(*contour_colour));
    else
      gfxwin::set_color_index(5);
    gfxwin::lines_w(contour_lines.data(), contour_lines.size() / 4);
  }

  // Black out the previous call's texts; the pixel width is still that call's.
  if (later) {
    gfxwin::set_rgb_color(0);
    gfxwin::rectangle_w(gfxwin::kFillInterior, state.last_column_edge + 4 * state.x_pixel_width,
                        yr.lo, x2, yr.hi);
  }

  // Texts.
  gfxwin::init_fonts();
  gfxwin::select_font("t'modern'h14w9");
  gfxwin::set_rgb_color(0xFFFFFF);
  state.x_pixel_width = (x2 - xr.lo) / (W - 7);
  const double y_pixel_height = (yr.hi - yr.lo) / (H - 7);
  const double tx = xr.lo + H * (x2 - xr.lo) / W + 20 * state.x_pixel_width;
  double ty = yr.hi - 20 * y_pixel_height;

  const std::string xformat = label_format(xr.lo, x2);
  const std::string yformat = label_format(yr.lo, yr.hi);
  const std::string zformat = label_format(zr.lo, zr.hi);
  struct TextLine {
    int gap;
    std::string text;
  };
  std::vector<TextLine> lines = {
      {0, std::string(textfmt::trim(textfmt::drawn_text(xfield)))},
      {20, "   min = " + number_text(xr.lo, xformat)},
      {20, "   max = " + number_text(xr.hi, xformat)},
      {40, std::string(textfmt::trim(textfmt::drawn_text(yfield)))},
      {20, "   min = " + number_text(yr.lo, yformat)},
      {20, "   max = " + number_text(yr.hi, yformat)},
      {40, std::string(textfmt::trim(textfmt::drawn_text(tfield)))},
      {20, "   min = " + number_text(zr.lo, zformat)},
      {20, "   max = " + number_text(zr.hi, zformat)},
  };
  if (o.zlabel)
    lines.push_back({20, std::string(textfmt::trim(textfmt::drawn_text(
                             text_field(o.zlabel, "", Reduce::both))))});
  for (const auto& line : lines) {
    ty -= line.gap * y_pixel_height;
    gfxwin::move_to_w(tx, ty);
    gfxwin::draw_text(line.text);
  }

  // Console mode: wait for Enter, then back to text.
  if (!own) {
    film_frame.add();
    gfxwin::read_console_line();
    gfxwin::set_video_mode(gfxwin::kDefaultMode);
    gfxwin::clear_window(0);
    gfxwin::select_font("t'Terminal'h12w8");
    gfxwin::set_text_color(7);
  }
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

}  // namespace mapscreen
