#pragma once
// The PostScript map: z = z(x, y) drawn through PGPLOT into a file, by
// default the landscape PostScript file "Map.ps": a grey-scale image (lowest
// value black, highest white), a frame through the centres of the corner
// cells, numbered axes, a grey wedge with the value scale, labels and title.
//
// Optional arguments (absent = default; a present text always replaces the
// default, even when empty):
//   log_option  lowest bit set: draw log10 of the values, title "log(title)"
//   xlabel      "x" (leading blanks removed)
//   ylabel      "y" (leading blanks removed)
//   title       "Representation of z=z(x,y)"
//   file        "Map.ps"; a name ending in "ps" takes the device type as its
//               new ending (in place of "ps") unless it already ends in the
//               type: Map.ps with png gives Map.png, out.eps with cps gives
//               out.ecps, m.eps with eps stays m.eps, m.vps with vps stays
//               m.vps, plot stays plot
//   device      "ps"; PGPLOT device types as mapps/pgplot/pgplot.h lists them
// Labels and title are held in 80-character fields (longer ones are cut);
// file name and device type are used whole, whatever their length, and the
// ending rule applies to the whole name. A NUL byte in either ends the
// program with the fatal report "File name holds a NUL byte: a\0b" (or
// "Device type ...") before anything is drawn or written.
// Labels and title are UTF-8 and drawn as textfmt::drawn_text and pgplot.h
// describe: a character the field cut is left out, control characters are blanks.
//
// Values z(k) stand at k = (j - 1) * nx + i for column i, row j (from 1); each
// cell spans from half-way to its neighbours' coordinates, the first from x(1)
// and the last to x(nx) (and so along y), as on the screen map. Coordinates
// that go back and forth are taken as evenly spaced from the first to the
// last. The grey
// scale and the wedge span the finite values: +inf is drawn in the highest
// value's colour, -inf in the lowest's; a value that is not a number is passed
// to PGPLOT as it is; a map without a finite value is drawn as a flat map of
// zeros. The console gets the warning lines
// " Warning: incompatible array sizes !!!" (nz != nx * ny) and
// " Array is flat!" (range below 1.0E-6), and after a file has been written
// " Output in " and its name.
//
// Refused without opening any device, after a warning line:
//   - fewer z values than nx * ny (the size warning),
//   - fewer than two x or y values
//     (" Warning: at least two x and two y values are needed !!!"),
//   - an x or y value that is not finite, in single precision
//     (" Warning: x and y values must be finite !!!").
// When the device cannot be opened (a folder that cannot be written, a file
// that may not be written, a loop of links), PGPLOT's message says why, no
// " Output in " line follows and no file is changed. A device type holding
// "/" is refused as PGPLOT refuses an unknown one ("%PGPLOT, Unrecognized
// device type: tmp/x/ps"). The result says which of these happened. A file that cannot be
// written completely (a full file system ...) ends the program with the fatal
// report "File <name>: cannot write: <reason>" before that line, the earlier
// file kept. Maps of extreme aspect ratios (10^5 to 1) are drawn like any
// other. A blank file name stays blank: PGPLOT writes its default file for
// the device type (pgplot.ps ...), and that is the name reported; the null
// device writes no file and nothing is reported. A value of zero or below
// under the log option ends the program with "log10: SING error" or
// "log10: DOMAIN error" before any device is opened; storage that cannot be
// obtained ends it with "Out of memory", no unfinished file left. Work
// stopped through rtl::check_interruption() (rtl/fatal.h) leaves the same:
// no device open, no unfinished file, the earlier file as it was.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "maparg/palette.h"
#include "maparg/text_fields.h"
#include "maparg/views.h"

namespace mapps {

using maparg::MatView;
using maparg::OptText;
using maparg::VecView;
using OptInt = std::optional<int>;

// What a call did: the file it wrote, or why it wrote none. Every form
// returns it; a fatal error returns nothing (see rtl/fatal.h).
struct PsMapResult {
  enum class Outcome {
    kWritten,        // `file` written, as its " Output in " line names it
    kNoFile,         // drawn on the null device, which writes no file
    kRefused,        // the arguments (too few values or coordinates, x or y not finite)
    kDeviceRefused,  // the device type is not one PGPLOT knows, or giza refused the device
    kNotOpened,      // the file could not be opened: `error` is the errno, `file` its name
    kOnPage,         // drawn into a panel of a Page: its file is written when the page closes
  };
  Outcome outcome = Outcome::kWritten;
  std::string file;     // the file written, or the file that could not be opened
  std::string kind;     // of the file written: "PostScript", "PDF", "PNG" or "SVG"
  int error = 0;        // errno of kNotOpened
  std::string message;  // why nothing was written: the warning's text, without its leading blank
  bool written() const { return outcome == Outcome::kWritten; }
};

// Base form: single-precision x, y and flat z. Only reads the arrays.
PsMapResult ps_map(VecView<float> x, VecView<float> y, VecView<float> z, OptInt log_option = std::nullopt,
            OptText xlabel = std::nullopt, OptText ylabel = std::nullopt,
            OptText title = std::nullopt, OptText file = std::nullopt,
            OptText device = std::nullopt);

// Double-precision x, y and flat z, narrowed to single precision.
PsMapResult ps_map_r8(VecView<double> x, VecView<double> y, VecView<double> z,
               OptInt log_option = std::nullopt, OptText xlabel = std::nullopt,
               OptText ylabel = std::nullopt, OptText title = std::nullopt,
               OptText file = std::nullopt, OptText device = std::nullopt);

// Single-precision x, y and matrix z (first index along x), packed.
PsMapResult ps_map_2d(VecView<float> x, VecView<float> y, MatView<float> z,
               OptInt log_option = std::nullopt, OptText xlabel = std::nullopt,
               OptText ylabel = std::nullopt, OptText title = std::nullopt,
               OptText file = std::nullopt, OptText device = std::nullopt);

// Double-precision x, y and matrix z (first index along x), narrowed and packed.
PsMapResult ps_map_2d_r8(VecView<double> x, VecView<double> y, MatView<double> z,
                  OptInt log_option = std::nullopt, OptText xlabel = std::nullopt,
                  OptText ylabel = std::nullopt, OptText title = std::nullopt,
                  OptText file = std::nullopt, OptText device = std::nullopt);

// The optional arguments by name, each absent unless set (absent stays
// distinct from every value, an empty text included):
//   mapps::ps_map(x, y, z, {.title = "Spectrum", .file = "map.ps", .device = "png"});
// Only by name, the colours (see maparg/palette.h):
//   palette     the colour table of the image and the wedge, in place of the
//               grey ramp: a name ("viridis", "heat_r" ...) or control points
//   zmin, zmax  PGIMAG's and PGWEDG's low and high values in place of the
//               data's lowest and highest (with the log option: their log10,
//               and a limit of zero or below is the log option's fatal error)
// A palette that cannot be used, or zmin not below zmax, writes its warning
// line and draws with grey, or with the data's range.
// Only by name, the contours (maparg/palette.h, maparg/contour.h):
//   contours        the levels of the lines: a count of evenly spaced
//                   levels inside the wedge's range, or the levels (their
//                   log10 under the log option), found by maparg's marching
//                   squares (the rule of giza's PGCONT, maparg/contour.h)
//                   and drawn with PGLINE, a NaN opening the lines around it
//   contour_colour  the lines' colour; absent: the frame's
//   contour_labels  lowest bit set: each line numbered with its level (PGCONL)
// Only by name, the page (after the colours):
//   aspect   "equal" (absent: equal scales along x and y, PGWNAD) or "auto"
//            (the map fills the viewport, PGSWIN); either in any case
//   pixels   width and height of a PNG device's picture, each 16 .. 16384
//            (absent: giza's 800 x 600); no other device has pixels
// Another value writes its warning line and draws as without it.
class Page;

// Only by name, after the page options:
//   page     the Page whose next panel the map is drawn into, in place of a
//            file of its own (file, device and pixels are then the page's)
struct PsMapOptions {
  OptInt log = std::nullopt;
  OptText xlabel = std::nullopt;
  OptText ylabel = std::nullopt;
  OptText title = std::nullopt;
  OptText file = std::nullopt;
  OptText device = std::nullopt;
  MAPARG_OPTIONS_OF_BOTH_MAPS
  OptText aspect = std::nullopt;
  std::optional<std::array<std::int64_t, 2>> pixels = std::nullopt;
  Page* page = nullptr;
};

// A page of panels: several whole maps (frame, axes, wedge, labels, title)
// in one file, each scaled into its part of the page, the page divided into
// `columns` x `rows` panels as PGSUBP divides it, filled along each row from
// the top left. Opened with the file name and device type of a map (the
// same defaults and ending rule) and, for a PNG device, the picture's
// pixels; each ps_map with .page = &page draws into the next panel; close()
// (or the destructor) writes the file, under a temporary name until it is
// whole, and its " Output in " line. A fatal error while the page is open
// leaves the earlier file of that name as it was.
//   mapps::Page page("maps.png", "png", {2, 2});
//   mapps::ps_map(x, y, z, {.title = "first", .page = &page});  // top left
//   ...
//   page.close();
// giza draws on one device per process: while a page is open, the maps of
// other threads wait until it closes, and a map of the page's own thread
// that is not drawn on it is refused (" Warning: a page is open on this
// thread: the map is drawn on it or not at all !!!"), and so is one of
// another thread on the page (" Warning: the page is another thread's !!!").
// A map on a page
// whose panels are all drawn, or one that is not open, is refused too
// (" Warning: the page has no panel left !!!", " Warning: the page is not
// open !!!"). Panels outside 1 .. 10 along either direction write
// " Warning: panels must be 1 .. 10 each: 1 x 1 used !!!".
class Page;
namespace detail {
struct SampledField;
// The one drawing of every ps_map form (mapps/ps_map_sampled.h draws through
// it a field held elsewhere): not for callers.
PsMapResult map_field(VecView<float> x, VecView<float> y, VecView<float> z,
                      const SampledField* sampled, const PsMapOptions& o);
}  // namespace detail

class Page {
 public:
  explicit Page(OptText file = std::nullopt, OptText device = std::nullopt,
                std::array<int, 2> panels = {1, 1},
                std::optional<std::array<std::int64_t, 2>> pixels = std::nullopt);
  ~Page();
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  // How the opening went: kWritten while the page is open (its file not yet
  // written), else why it could not be opened, as a map's result says.
  const PsMapResult& opened() const { return opened_; }
  bool is_open() const { return open_; }
  // Columns times rows, and how many of them are drawn.
  int panels() const { return columns_ * rows_; }
  int drawn() const { return drawn_; }

  // Writes the file: the result says what was written (kNoFile for the null
  // device); a page that was not open returns why. Closing twice does nothing
  // the second time and returns the first result.
  PsMapResult close();
  // Closes the page without writing it: the earlier file of its name stays.
  void abandon();

 private:
  friend PsMapResult ps_map(VecView<float>, VecView<float>, VecView<float>, const PsMapOptions&);
  friend PsMapResult detail::map_field(VecView<float>, VecView<float>, VecView<float>,
                                       const detail::SampledField*, const PsMapOptions&);
  std::string device_string_;
  int columns_ = 1, rows_ = 1, drawn_ = 0;
  bool open_ = false;
  PsMapResult opened_;
  PsMapResult closed_;
  bool was_closed_ = false;
  std::thread::id owner_;  // the thread that opened it, which alone draws on it
};

PsMapResult ps_map(VecView<float> x, VecView<float> y, VecView<float> z, const PsMapOptions& o);
PsMapResult ps_map_r8(VecView<double> x, VecView<double> y, VecView<double> z, const PsMapOptions& o);
PsMapResult ps_map_2d(VecView<float> x, VecView<float> y, MatView<float> z, const PsMapOptions& o);
PsMapResult ps_map_2d_r8(VecView<double> x, VecView<double> y, MatView<double> z,
                  const PsMapOptions& o);

// One name for the four forms, the form chosen by the precision of x, y and
// z and by z being flat or a matrix, as the Fortran module's postscript_map:
//   mapps::postscript_map(x, y, z, {.file = "map.png", .device = "png"});
inline PsMapResult postscript_map(VecView<float> x, VecView<float> y, VecView<float> z,
                           const PsMapOptions& o = {}) {
  return ps_map(x, y, z, o);
}
inline PsMapResult postscript_map(VecView<double> x, VecView<double> y, VecView<double> z,
                           const PsMapOptions& o = {}) {
  return ps_map_r8(x, y, z, o);
}
inline PsMapResult postscript_map(VecView<float> x, VecView<float> y, MatView<float> z,
                           const PsMapOptions& o = {}) {
  return ps_map_2d(x, y, z, o);
}
inline PsMapResult postscript_map(VecView<double> x, VecView<double> y, MatView<double> z,
                           const PsMapOptions& o = {}) {
  return ps_map_2d_r8(x, y, z, o);
}

// The output file name for a file-name field and a device-type field (80
// characters or more): the ending rule above, result again such a field
// (blank-padded to 80 characters, a longer name whole).
std::string output_file_field(std::string_view file_field, std::string_view device_field);

}  // namespace mapps
