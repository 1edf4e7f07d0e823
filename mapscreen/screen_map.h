#pragma once
// The screen map: z = z(x, y) painted as a grey-level map into a graphics
// window, beside a column of text naming the axes and the title and giving
// the smallest and largest x, y and z.
//
// The first call of a sequence (continuation flag clear) prepares the window:
// in own-window mode it opens a new window unit (101, 102, ...) captioned with
// the title, clears it and draws a frame. Later calls (flag set) repaint every
// cell over the previous picture, black out the old text column and write the
// new texts. Without own-window mode the map goes into the console window,
// and the call waits for the user to press Enter before it turns the console
// back into text.
//
// Optional arguments (absent = default):
//   log_option    lowest bit set: show log10 of the values (and "log(title)")
//   xlabel        "x"
//   ylabel        "y"
//   title         "Representation of z=z(x,y)"; also the window caption
//   size          3 or more: 1005 x 662 pixels; 2: 741 x 451; else 580 x 270
//                 (own window) or 580 x 290 (console); default 1
//   own_window    lowest bit set: a graphics window of the map's own; default 0
//   continuation  lowest bit set: a later call of a sequence; default 0
// Texts lose their leading and trailing blanks and are cut to 80 characters;
// they are UTF-8 and drawn as textfmt::drawn_text describes.
// Integer flags are truth values: only the lowest bit counts.
//
// Values z(k) stand at k = (j - 1) * nx + i for column i, row j (from 1).
// The grey scale and the z minimum and maximum shown come from the finite
// values: +inf is drawn white and -inf black; a value that is not a number is
// drawn black whatever the palette (and is the minimum and maximum shown if it
// comes first).
// A value of zero or below under the log option ends the program with
// "log10: SING error" or "log10: DOMAIN error"; storage that cannot be
// obtained ends it with "Out of memory". The rows of cells are painted with
// rtl::check_interruption() (rtl/fatal.h) between them. When all finite values
// are equal, or no value is finite, or there are fewer than nx * ny values, or
// x or y is empty or holds a value that is not finite, nothing of the map is drawn.
//
// In own-window mode a call that draws the map also hands its window x, y and
// z as the caller gave them for the cells the picture shows
// (gfxwin::show_map_values), so that the window can show the values under the
// mouse; the console window gets none.

#include <mutex>
#include <optional>
#include <span>

#include "gfxwin/graphics.h"
#include "maparg/palette.h"
#include "maparg/text_fields.h"
#include "maparg/views.h"

namespace mapscreen {

using maparg::MatView;
using maparg::OptText;
using maparg::VecView;
using OptInt = std::optional<int>;

// Base form: double-precision x, y and flat z. Without the log option z is
// rescaled in place to grey levels 0 .. 255 (unless nothing is drawn), for
// finite values of any range, subnormal or beyond the largest double, and
// infinite ones: pass a vector that is not needed afterwards.
void scr_map(VecView<double> x, VecView<double> y, std::span<double> z,
             OptInt log_option = std::nullopt, OptText xlabel = std::nullopt,
             OptText ylabel = std::nullopt, OptText title = std::nullopt,
             OptInt size = std::nullopt, OptInt own_window = std::nullopt,
             OptInt continuation = std::nullopt);

// Single-precision x, y and flat z; widened to double. The caller's arrays are
// unchanged.
void scr_map_r4(VecView<float> x, VecView<float> y, VecView<float> z,
                OptInt log_option = std::nullopt, OptText xlabel = std::nullopt,
                OptText ylabel = std::nullopt, OptText title = std::nullopt,
                OptInt size = std::nullopt, OptInt own_window = std::nullopt,
                OptInt continuation = std::nullopt);

// Single-precision x, y and matrix z (first index along x); widened and
// packed. The caller's arrays are unchanged.
void scr_map_2d(VecView<float> x, VecView<float> y, MatView<float> z,
                OptInt log_option = std::nullopt, OptText xlabel = std::nullopt,
                OptText ylabel = std::nullopt, OptText title = std::nullopt,
                OptInt size = std::nullopt, OptInt own_window = std::nullopt,
                OptInt continuation = std::nullopt);

// Double-precision x, y and matrix z (first index along x); z packed. The
// caller's arrays are unchanged.
void scr_map_2d_r8(VecView<double> x, VecView<double> y, MatView<double> z,
                   OptInt log_option = std::nullopt, OptText xlabel = std::nullopt,
                   OptText ylabel = std::nullopt, OptText title = std::nullopt,
                   OptInt size = std::nullopt, OptInt own_window = std::nullopt,
                   OptInt continuation = std::nullopt);

// The optional arguments by name, each absent unless set (absent stays
// distinct from every value, an empty text included):
//   mapscreen::scr_map_2d(x, y, z, {.title = "Mandelbrot set", .own_window = -1});
// Only by name, the colours (see maparg/palette.h):
//   palette     the colour table: a cell of level L (0 .. 255) takes the
//               table's colour at L / 255 (maparg::level_colours); grey, the
//               default, is level * 65793. The frame, background and texts
//               keep their colours.
//   zmin, zmax  the values of levels 0 and 255 in place of the data's lowest
//               and highest (with the log option: their log10, and a limit of
//               zero or below is the log option's fatal error); values beyond
//               them take the end colours. The text column still shows the
//               data's lowest and highest z. With a range of its own, a map
//               whose values are all equal is drawn too.
// A palette that cannot be used, or zmin not below zmax, writes its warning
// line on the console and draws with grey, or with the data's range.
struct ScreenMapOptions {
  OptInt log = std::nullopt;
  OptText xlabel = std::nullopt;
  OptText ylabel = std::nullopt;
  OptText title = std::nullopt;
  OptInt size = std::nullopt;
  OptInt own_window = std::nullopt;
  OptInt continuation = std::nullopt;
  MAPARG_OPTIONS_OF_BOTH_MAPS
  // Only by name, the film of the window (mapfilm/film.h):
  //   record  on the first call of a sequence, the film file (.mp4, .gif or
  //           .webm) of the map's window: the first call's picture and that
  //           of every later call, the window's surface at its own size, are
  //           its frames. The film ends at the next first call, at
  //           clear_window of the window, or at the program's end (a fatal
  //           end too), and is written then. Ignored on later calls.
  //   fps     frames a second of the film, 0.01 .. 1000; default 30.
  OptText record = std::nullopt;
  std::optional<double> fps = std::nullopt;
};

void scr_map(VecView<double> x, VecView<double> y, std::span<double> z,
             const ScreenMapOptions& o);
void scr_map_r4(VecView<float> x, VecView<float> y, VecView<float> z, const ScreenMapOptions& o);
void scr_map_2d(VecView<float> x, VecView<float> y, MatView<float> z, const ScreenMapOptions& o);
void scr_map_2d_r8(VecView<double> x, VecView<double> y, MatView<double> z,
                   const ScreenMapOptions& o);

// One name for the four forms, the form chosen by the precision of x, y and
// z and by z being flat or a matrix, as the Fortran module's screen_map: on
// double precision and a flat z it is scr_map, which rescales z in place.
//   mapscreen::screen_map(x, y, grid, {.title = "Mandelbrot set", .own_window = -1});
inline void screen_map(VecView<double> x, VecView<double> y, std::span<double> z,
                       const ScreenMapOptions& o = {}) {
  scr_map(x, y, z, o);
}
inline void screen_map(VecView<float> x, VecView<float> y, VecView<float> z,
                       const ScreenMapOptions& o = {}) {
  scr_map_r4(x, y, z, o);
}
inline void screen_map(VecView<float> x, VecView<float> y, MatView<float> z,
                       const ScreenMapOptions& o = {}) {
  scr_map_2d(x, y, z, o);
}
inline void screen_map(VecView<double> x, VecView<double> y, MatView<double> z,
                       const ScreenMapOptions& o = {}) {
  scr_map_2d_r8(x, y, z, o);
}

// The label format of a group of values running from lo to hi, e.g. "(g9.3)":
// d = 2 - floor(log10(|hi - lo| / max(|lo|, |hi|))) limited to 3 .. 16, width
// d + 6. A zero quotient gives 16 digits, one that is not a number 3.
std::string label_format(double lo, double hi);

// The number text drawn after "   min = " and "   max = ".
std::string number_text(double value, const std::string& format);

// The drawing area of a size option, in pixels of the window (W wide, H
// high): 3 or more 1005 x 662, 2 741 x 451, else 580 x 270 in an own window
// or 580 x 290 in the console window.
struct Area {
  int w;
  int h;
};
Area drawing_area(int size, bool own_window);

// What a first call paints, from the top-left corner of the surface: the
// drawing area and the frame's outline, whose corners (1, 1) and (H, H) are
// both drawn, so its bottom edge lies on row H, below the area: W x (H + 1).
Area painted_area(int size, bool own_window);

// State kept between calls (one for the whole program).
struct ScreenMapState {
  int unit_counter = 100;
  int film_unit = -1;  // the unit whose film a first call started, or none
  double last_column_edge = 0;
  double x_pixel_width = 0;
};
ScreenMapState& screen_map_state();

// While one lives, the screen maps of the thread that made it paint off
// screen, as into windows of their own but with none shown
// (gfxwin::OffscreenDrawing), and the screen maps of other threads wait: the
// picture of a map for a caller that takes it as pixels (a notebook). Once it
// ends, the program's window units, the active one and the number of the
// next window are as they were before.
class OffscreenMap {
 public:
  OffscreenMap();
  ~OffscreenMap();
  OffscreenMap(const OffscreenMap&) = delete;
  OffscreenMap& operator=(const OffscreenMap&) = delete;

  // The surface of the window of the last map painted meanwhile (the map's
  // painted_area from its top-left corner); false when none was painted.
  bool picture(gfxwin::Picture& out) const;

 private:
  std::unique_lock<std::recursive_mutex> lock_;
  ScreenMapState saved_;
  std::optional<gfxwin::OffscreenDrawing> offscreen_;
};

}  // namespace mapscreen
