#include "mapps/ps_map.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "maparg/contour.h"
#include "maparg/convert.h"
#include "maparg/request.h"
#include "mapps/pgplot/pgplot.h"
#include "mapps/pgplot/plot_images.h"
#include "mapps/ps_map_sampled.h"
#include "textfmt/drawn_text.h"
#include "textfmt/fixed_text.h"
#include "rtl/fatal.h"

namespace mapps {
namespace {

using maparg::Index;

// The five text fields: 80 characters each, the default for an absent text,
// the labels without their leading blanks, the other texts as given. Labels
// and title are cut to 80 characters; file name and device type are never cut.
struct PsTextFields {
  std::string xlabel;  // "x"
  std::string ylabel;  // "y"
  std::string title;   // "Representation of z=z(x,y)"
  std::string file;    // "Map.ps"
  std::string device;  // "ps"
};

PsTextFields ps_text_fields(OptText xlabel, OptText ylabel, OptText title, OptText file,
                            OptText device) {
  using maparg::Reduce;
  using maparg::text_field;
  return {text_field(xlabel, maparg::kDefaultXLabel, Reduce::leading),
          text_field(ylabel, maparg::kDefaultYLabel, Reduce::leading),
          text_field(title, maparg::kDefaultTitle, Reduce::none),
          maparg::name_field(file, "Map.ps"),
          maparg::name_field(device, "ps")};
}

// What ps_map prepares and its draw step reads.
struct Prepared {
  PsTextFields fields;
  VecView<float> x;
  VecView<float> y;
  VecView<float> zd;  // z itself, or its logarithms
  Index nx = 0;
  Index ny = 0;
  maparg::ColourTable table;  // the grey ramp unless a palette is given
  // The caller's zmin and zmax (their log10 under the log option), each when given.
  std::optional<float> zmin;
  std::optional<float> zmax;
  std::optional<float> zcentre;  // as a value of the image, when given
  std::string wedge_label = " ";  // PGWEDG's label: zlabel's field, or none
  bool fill_viewport = false;                  // aspect "auto"
  std::optional<std::array<int, 2>> pixels;   // a PNG picture's size
  // nan_colour, under and over, each when asked and usable.
  maparg::CellColours colours;
  // The contours asked, their colour when usable, their numbers.
  maparg::OptContours contours;
  bool log = false;
  maparg::OptColour contour_colour;
  bool contour_labels = false;
  bool on_page = false;  // drawn into the next panel of the open device
  // A field held elsewhere, in place of zd: its range, and the cells the
  // device's pixels show.
  const detail::SampledField* sampled = nullptr;
};

// The page options, resolved: a value that cannot be used writes its warning
// line and leaves the default.
void resolve_page(const PsMapOptions& o, std::string_view device_type, Prepared& p) {
  if (o.aspect) {
    const std::string_view aspect = textfmt::strip(*o.aspect);
    p.fill_viewport = textfmt::same_ignoring_case(aspect, "auto");
    if (!p.fill_viewport && !textfmt::same_ignoring_case(aspect, "equal"))
      maparg::console_line(" Warning: aspect must be equal or auto: equal used !!!");
  }
  if (o.pixels) {
    constexpr std::int64_t kFewest = 16, kMost = 16384;
    const auto [w, h] = *o.pixels;
    if (w < kFewest || w > kMost || h < kFewest || h > kMost)
      maparg::console_line(" Warning: pixels must be 16 .. 16384 each: 800 x 600 used !!!");
    else if (textfmt::same_ignoring_case(device_type, "png") ||
             textfmt::same_ignoring_case(device_type, "tpng"))
      p.pixels = std::array<int, 2>{static_cast<int>(w), static_cast<int>(h)};
  }
}

// The colour indices nan_colour, under and over are given: standard colours
// the map does not use otherwise, below the range PGCTAB's tables take.
constexpr int kNanIndex = 13;
constexpr int kUnderIndex = 14;
constexpr int kOverIndex = 15;

// What colours a cell when the table does not.
enum class CellKind : std::uint8_t { kTable, kNan, kUnder, kOver };

// The edges of the cells along an axis of n coordinates c: cell i (from 1)
// from edge i - 1 to edge i. Evenly spaced, half a step either side of the
// centre origin + step * i; else between the midpoints of its neighbours, the
// first from c(1) and the last to c(n), as the image places them.
std::vector<float> cell_edges(const std::vector<float>& c, bool even, float origin, float step) {
  const std::size_t n = c.size();
  std::vector<float> edges(n + 1);
  for (std::size_t k = 0; k <= n; ++k) {
    if (even)
      edges[k] = origin + step * (static_cast<float>(k) + 0.5f);
    else
      edges[k] = k == 0 ? c[0]
                 : k == n ? c[n - 1]
                          : static_cast<float>(0.5 * (static_cast<double>(c[k - 1]) + c[k]));
  }
  return edges;
}

// The cells of kind `kind` drawn over the image in colour `c` (as colour
// index `ci`): each row's runs of them as one rectangle each, cell (i, j)
// (from 1) from xe[i - 1] to xe[i] and ye[j - 1] to ye[j].
void draw_cells_of_kind(const Pgplot& pg, const std::vector<CellKind>& kinds, CellKind kind,
                        int ci, const maparg::Colour& c, const std::vector<float>& xe,
                        const std::vector<float>& ye) {
  const int nx = static_cast<int>(xe.size()) - 1, ny = static_cast<int>(ye.size()) - 1;
  pg.scr(ci, static_cast<float>(c[0]), static_cast<float>(c[1]), static_cast<float>(c[2]));
  pg.sci(ci);
  for (int j = 1; j <= ny; ++j) {
    const CellKind* row = kinds.data() + static_cast<std::size_t>(j - 1) * nx;
    for (int i = 1; i <= nx; ++i) {
      if (row[i - 1] != kind) continue;
      const int first = i;
      while (i < nx && row[i] == kind) ++i;
      pg.rect(xe[first - 1], xe[i], ye[j - 1], ye[j]);
    }
  }
}

// The device string: the whole file-name field (80 characters or more), "/",
// the device type.
std::string device_spec(const PsTextFields& f) {
  return f.file + "/" + std::string(textfmt::strip(f.device));
}

// A label as it is handed to PGPLOT: the field as it is drawn (see
// textfmt::drawn_text) and 20 blanks.
std::string label_text(const std::string& field) {
  return textfmt::drawn_text(field) + std::string(20, ' ');
}

// Unevenly spaced coordinates c, drawn as `count` equal fine cells from c[0]
// to c[n - 1], fine cell k (from 0) centred at first + (k + 1/2) * step and
// taking the value of original cell `original[k]` (from 0), the one under
// its centre.
struct FineCells {
  double first = 0, step = 0;
  int count = 0;
  std::vector<std::size_t> original;
};

// Coordinates are evenly spaced when each lies within a thousandth of a step
// of its place c[0] + i * step: the rounding of single-precision coordinates
// made as c[0] + i * step (1e-7 of their size) keeps them evenly spaced.
// Coordinates that go back and forth, or end where they start, have no cells
// between their neighbours' midpoints: they are placed as evenly spaced ones.
bool evenly_spaced(const std::vector<float>& c) {
  const std::size_t n = c.size();
  const double step = (static_cast<double>(c[n - 1]) - c[0]) / static_cast<double>(n - 1);
  const double tolerance = std::fabs(step) * 1.0e-3;
  bool even = true, rising = true, falling = true;
  for (std::size_t i = 0; i < n; ++i) {
    even = even && std::fabs(c[i] - (c[0] + step * static_cast<double>(i))) <= tolerance;
    if (i > 0) {
      rising = rising && c[i] >= c[i - 1];
      falling = falling && c[i] <= c[i - 1];
    }
  }
  return even || step == 0.0 || !(rising || falling);
}

// At most this many fine cells along an axis: edges within 1/4096 of the
// axis's length of their places, a seventh of a pixel on PNG and under a
// pixel of a 600 dpi print; and an image of fine cells along one axis and
// the evenly spaced cells of the other has at most this many cells, or as
// many as the map has.
constexpr int kMostFineCells = 2048;
constexpr double kMostImageCells = 2048.0 * 2048.0;
// Fine cells are an eighth of the narrowest cell wide, when they are not
// more than the limits above: every edge lies within 1/16 of the narrowest
// cell of its place.
constexpr double kFineCellsPerNarrowest = 8;

// The fine cells of unevenly spaced coordinates c. Cell i (from 0) spans
// from half-way to its lower neighbour to half-way to its upper one, the
// first from c[0] and the last to c[n - 1], as on the screen map.
// `other_cells` is the number of cells along the other axis when that one
// keeps its own.
FineCells fine_cells(const std::vector<float>& c, std::optional<std::size_t> other_cells) {
  const std::size_t n = c.size();
  // The midpoints, the edges between neighbouring cells, and the narrowest cell.
  std::vector<double> mid(n - 1);
  for (std::size_t i = 0; i + 1 < n; ++i) mid[i] = (static_cast<double>(c[i]) + c[i + 1]) * 0.5;
  const double length = static_cast<double>(c[n - 1]) - c[0];
  double narrowest = std::fabs(length);
  for (std::size_t i = 0; i < n; ++i) {
    const double lo = i == 0 ? c[0] : mid[i - 1], hi = i + 1 == n ? c[n - 1] : mid[i];
    if (hi != lo) narrowest = std::min(narrowest, std::fabs(hi - lo));
  }
  double count = std::ceil(std::fabs(length) / narrowest * kFineCellsPerNarrowest);
  count = std::min(count, static_cast<double>(kMostFineCells));
  if (other_cells)
    count = std::min(count, std::max(static_cast<double>(n),
                                     std::floor(kMostImageCells / static_cast<double>(*other_cells))));
  FineCells f;
  f.count = static_cast<int>(count);
  f.step = length / count;
  f.first = c[0];
  // The original cell under a centre is the number of midpoints it lies beyond.
  const bool rising = length > 0;
  f.original.resize(static_cast<std::size_t>(f.count));
  for (int k = 0; k < f.count; ++k) {
    const double centre = f.first + (k + 0.5) * f.step;
    const auto beyond = std::partition_point(mid.begin(), mid.end(), [&](double m) {
      return rising ? m < centre : m > centre;
    });
    f.original[static_cast<std::size_t>(k)] = static_cast<std::size_t>(beyond - mid.begin());
  }
  return f;
}

// The colour index of the contour lines in a colour of the caller's: a
// standard colour the map does not use otherwise.
constexpr int kContourIndex = 12;

// The contour lines at `levels` (ascending) over the values zd (x index
// fastest) at the coordinates xa, ya, as maparg's marching squares find and
// join them (the rule of giza's contouring; giza 1.3.2's own routines leave
// gaps where a value equals the level, ignore PGCONB's blank and draw no
// PGCONL labels), each point placed between the coordinates of its two grid
// points, each line one PGLINE through as few of its points as keep it where
// it is. With the labels, each level's number is
// written along its lines, centred on a piece of them and turned along it,
// wherever no number of that level lies within a quarter of the map (and
// none of another within a twelfth), away from the frame, so that every line
// long enough gets one.
void draw_contours(const Pgplot& pg, const Prepared& p, const std::vector<float>& xa,
                   const std::vector<float>& ya, const std::vector<double>& levels) {
  // The levels as the map's values (single precision), for the squares.
  std::vector<double> c(levels.size());
  for (std::size_t k = 0; k < levels.size(); ++k) c[k] = static_cast<float>(levels[k]);
  std::vector<std::vector<maparg::ContourSegment>> segments(c.size());
  maparg::contour_squares(
      p.nx, p.ny, c,
      [&](Index i, Index j) {
        if (i == 0) rtl::check_interruption();
        return static_cast<double>(p.zd.element(j * p.nx + i));
      },
      [&](std::size_t n, const maparg::ContourSegment& g) { segments[n].push_back(g); });
  // Drawn within a three-thousandth of the map of every point: a third of a
  // PNG's pixel, a sixth of a millimetre on a landscape page.
  const std::vector<std::vector<maparg::ContourLine>> lines =
      maparg::join_segments(segments, p.nx, p.ny, 1.0 / 3000);

  if (p.contour_colour) {
    const maparg::Colour& colour = *p.contour_colour;
    pg.scr(kContourIndex, static_cast<float>(colour[0]), static_cast<float>(colour[1]),
           static_cast<float>(colour[2]));
    pg.sci(kContourIndex);
  } else {
    pg.sci(1);
  }
  pg.slw(2);
  // Grid position q (from 0, a fraction) along coordinates v.
  const auto place = [](const std::vector<float>& v, double q) {
    const auto i = std::min(static_cast<std::size_t>(q), v.size() - 2);
    return static_cast<float>(v[i] + (q - static_cast<double>(i)) *
                                         (static_cast<double>(v[i + 1]) - v[i]));
  };
  std::vector<float> lx, ly;
  for (const auto& level : lines)
    for (const maparg::ContourLine& line : level) {
      lx.clear();
      ly.clear();
      for (const auto& [i, j] : line) {
        lx.push_back(place(xa, i));
        ly.push_back(place(ya, j));
      }
      pg.line(static_cast<int>(lx.size()), lx.data(), ly.data());
    }
  if (p.contour_labels) {
    const double xspan = std::fabs(static_cast<double>(xa.back()) - xa.front());
    const double yspan = std::fabs(static_cast<double>(ya.back()) - ya.front());
    struct Label {
      double u, v;  // in parts of the map's width and height
      std::size_t level;
    };
    std::vector<Label> labels;
    pg.sch(0.7f);
    for (std::size_t n = 0; n < lines.size(); ++n) {
      char text[32];
      std::snprintf(text, sizeof text, "%.4g", c[n]);
      for (const maparg::ContourLine& line : lines[n])
        for (std::size_t k = 0; k + 1 < line.size(); ++k) {
          const double x0 = place(xa, line[k][0]), x1 = place(xa, line[k + 1][0]);
          const double y0 = place(ya, line[k][1]), y1 = place(ya, line[k + 1][1]);
          const double mx = 0.5 * (x0 + x1), my = 0.5 * (y0 + y1);
          const double u = xspan > 0 ? (mx - xa.front()) / xspan : 0;
          const double v = yspan > 0 ? (my - ya.front()) / yspan : 0;
          // Not at the frame, where the number would reach beyond it.
          bool free = u > 0.05 && u < 0.95 && v > 0.05 && v < 0.95;
          for (const Label& l : labels)
            free = free && std::hypot(l.u - u, l.v - v) >= (l.level == n ? 0.25 : 1.0 / 12);
          if (!free) continue;
          labels.push_back({u, v, n});
          // Along the piece as it shows: with aspect auto, x and y in parts of the map.
          const double dx = (x1 - x0) * (p.fill_viewport && xspan > 0 ? yspan / xspan : 1);
          double angle = std::atan2(y1 - y0, dx) * 180 / 3.14159265358979;
          if (angle > 90) angle -= 180;
          if (angle < -90) angle += 180;
          pg.ptxt(static_cast<float>(mx), static_cast<float>(my), static_cast<float>(angle),
                  0.5f, text);
        }
    }
    pg.sch(1.0f);
  }
  pg.slw(3);
}

// The draw step: copy, range, transform and the PGPLOT calls from opening
// the device of `device_string` to closing it. Returns what pgbeg returned:
// 1 when the map was drawn.
// Requires: nx >= 2, ny >= 2 and at least nx * ny values in zd.
int ps_map_draw(const Prepared& p, const std::string& device_string) {
  const Pgplot& pg = pgplot();
  const int nx = static_cast<int>(p.nx);
  const int ny = static_cast<int>(p.ny);

  const std::vector<float> xa = maparg::to_vector<float>(p.x);
  const std::vector<float> ya = maparg::to_vector<float>(p.y);
  std::vector<float> zm(p.sampled ? 0 : static_cast<std::size_t>(p.nx * p.ny));
  // The range of the finite values: infinite ones take its ends below, and a
  // value that is not a number never compares.
  float zhi = -1.0e38f;
  float zlo = 1.0e38f;
  bool any_finite = false;
  if (p.sampled && p.sampled->any_finite) {
    any_finite = true;
    zlo = p.sampled->lo;
    zhi = p.sampled->hi;
  }
  for (std::size_t k = 0; k < zm.size(); ++k) {
    rtl::check_interruption_at_value(static_cast<std::int64_t>(k));
    const float v = p.zd.element(static_cast<Index>(k));
    zm[k] = v;
    if (!std::isfinite(v)) continue;
    any_finite = true;
    if (v > zhi) zhi = v;
    if (v < zlo) zlo = v;
  }
  if (!any_finite) zhi = zlo = 0.0f;  // no finite value: a flat map at zero

  // The caller's range in place of the data's, when it is one.
  const bool own_range = p.zmin || p.zmax;
  if (!own_range) maparg::centre_range(p.zcentre, zlo, zhi);
  const float given_lo = p.zmin.value_or(zlo), given_hi = p.zmax.value_or(zhi);
  const bool range_given = own_range && maparg::usable_range(given_lo, given_hi);
  if (own_range && !range_given) maparg::console_line(maparg::kRangeWarning);
  if (range_given) {
    zlo = given_lo;
    zhi = given_hi;
  } else {
    const float range = zhi - zlo;
    if (std::fabs(range) < 1.0e-6f) maparg::console_line(" Array is flat!");
    // A range beyond the largest float would make the lower end -inf.
    if (std::isfinite(range)) zlo = zhi - range;
  }
  // The value a cell is drawn with: beyond a given range, its end; else an
  // infinite one at the end it lies beyond.
  const auto shown = [range_given, zlo, zhi](float v) {
    if (range_given) return v < zlo ? zlo : v > zhi ? zhi : v;
    return std::isinf(v) ? (v > 0 ? zhi : zlo) : v;
  };
  for (float& v : zm) v = shown(v);

  const float dx = (xa[nx - 1] - xa[0]) / static_cast<float>(nx - 1);
  const float dy = (ya[ny - 1] - ya[0]) / static_cast<float>(ny - 1);
  const float tr[6] = {xa[0] - dx, dx, 0.0f, ya[0] - dy, 0.0f, dy};

  // Through the centres of the corner cells (1,1), (1,ny), (nx,ny), (nx,1).
  const float ci[5] = {1.0f, 1.0f, static_cast<float>(nx), static_cast<float>(nx), 1.0f};
  const float cj[5] = {1.0f, static_cast<float>(ny), static_cast<float>(ny), 1.0f, 1.0f};
  float frame_x[5];
  float frame_y[5];
  for (int k = 0; k < 5; ++k) {
    frame_x[k] = tr[0] + tr[1] * ci[k] + tr[2] * cj[k];
    frame_y[k] = tr[3] + tr[4] * ci[k] + tr[5] * cj[k];
  }

  // Unevenly spaced coordinates along either axis: the image of fine cells
  // along it (the other keeping its own cells when evenly spaced), each with
  // the value of the cell under its centre, and its transform.
  const bool x_even = evenly_spaced(xa), y_even = evenly_spaced(ya);
  std::vector<float> fine;
  int ni = nx, nj = ny;
  float fine_tr[6] = {tr[0], tr[1], tr[2], tr[3], tr[4], tr[5]};
  if (!x_even || !y_even) {
    std::vector<std::size_t> columns(xa.size()), rows(ya.size());
    for (std::size_t i = 0; i < columns.size(); ++i) columns[i] = i;
    for (std::size_t j = 0; j < rows.size(); ++j) rows[j] = j;
    // Fine cell k (from 1) is centred at first + (k - 1/2) * step: the
    // axis's cells, count, and origin and step of the transform.
    const auto resample = [](const std::vector<float>& c, std::optional<std::size_t> other,
                             std::vector<std::size_t>& cells, int& count, float& origin,
                             float& step) {
      FineCells f = fine_cells(c, other);
      cells = std::move(f.original);
      count = f.count;
      origin = static_cast<float>(f.first - 0.5 * f.step);
      step = static_cast<float>(f.step);
    };
    if (!x_even)
      resample(xa, y_even ? std::optional(ya.size()) : std::nullopt, columns, ni, fine_tr[0],
               fine_tr[1]);
    if (!y_even)
      resample(ya, x_even ? std::optional(xa.size()) : std::nullopt, rows, nj, fine_tr[3],
               fine_tr[5]);
    fine.reserve(columns.size() * rows.size());
    for (const std::size_t j : rows) {
      rtl::check_interruption();
      const float* row = zm.data() + j * xa.size();
      for (const std::size_t i : columns) fine.push_back(row[i]);
    }
  }

  // The contours' levels, taken before any device is opened (a level
  // without a logarithm is a fatal error).
  const std::vector<double> levels = maparg::contour_levels(p.contours, p.log, zlo, zhi);

  if (p.on_page) {
    pg.page();
  } else {
    if (const int status = pg.beg(0, device_string, 1, 1); status != 1) return status;
    if (p.pixels) pg.pap_pixels((*p.pixels)[0], (*p.pixels)[1]);
  }
  pg.scf(2);
  pg.slw(3);
  pg.svp(0.12f, 0.83f, 0.12f, 0.88f);
  if (p.fill_viewport)
    pg.swin(xa[0], xa[nx - 1], ya[0], ya[ny - 1]);
  else
    pg.wnad(xa[0], xa[nx - 1], ya[0], ya[ny - 1]);
  pg.bbuf();
  const maparg::ColourTable& t = p.table;
  pg.ctab(t.level.data(), t.red.data(), t.green.data(), t.blue.data(), t.size(), 1.0f, 0.5f);
  if (!fine.empty()) {
    pg.imag(fine.data(), ni, nj, 1, ni, 1, nj, zlo, zhi, fine_tr);
  } else if (p.sampled) {
    // The cells the pixels show, had from where the field is held.
    set_cell_source([&p, &shown](const std::vector<std::size_t>& columns,
                                 const std::vector<std::size_t>& rows) {
      std::vector<float> cells = p.sampled->cells(columns, rows);
      for (float& v : cells) v = shown(v);
      return cells;
    });
    pg.imag(nullptr, nx, ny, 1, nx, 1, ny, zlo, zhi, tr);
    set_cell_source(nullptr);
  } else {
    pg.imag(zm.data(), nx, ny, 1, nx, 1, ny, zlo, zhi, tr);
  }
  // Cells that are not a number (giza draws them black) and cells beyond the
  // caller's range (drawn in the end colours) in the colours asked for them.
  const maparg::CellColours& asked = p.colours;
  const bool under = range_given && asked.under.has_value();
  const bool over = range_given && asked.over.has_value();
  if (asked.nan || under || over) {
    std::vector<CellKind> kinds(zm.size(), CellKind::kTable);
    for (std::size_t k = 0; k < kinds.size(); ++k) {
      const float v = p.zd.element(static_cast<Index>(k));
      if (std::isnan(v)) kinds[k] = asked.nan ? CellKind::kNan : CellKind::kTable;
      else if (under && v < zlo) kinds[k] = CellKind::kUnder;
      else if (over && v > zhi) kinds[k] = CellKind::kOver;
    }
    const std::vector<float> xe = cell_edges(xa, x_even, tr[0], tr[1]);
    const std::vector<float> ye = cell_edges(ya, y_even, tr[3], tr[5]);
    if (asked.nan) draw_cells_of_kind(pg, kinds, CellKind::kNan, kNanIndex, *asked.nan, xe, ye);
    if (under) draw_cells_of_kind(pg, kinds, CellKind::kUnder, kUnderIndex, *asked.under, xe, ye);
    if (over) draw_cells_of_kind(pg, kinds, CellKind::kOver, kOverIndex, *asked.over, xe, ye);
  }
  if (!levels.empty()) draw_contours(pg, p, xa, ya, levels);
  pg.ebuf();
  pg.sci(0);
  pg.sci(1);
  pg.sls(1);
  pg.slw(1);
  pg.sci(1);
  pg.line(5, frame_x, frame_y);
  pg.box("bcnts", 0.0f, 0, "bcnts", 0.0f, 0);
  pg.sch(0.8f);
  // With under or over, a triangle of its colour beyond the wedge's end.
  if (under || over)
    pg.wedg_ends("ri", 3.0f, 4.0f, zlo, zhi, p.wedge_label, under ? kUnderIndex : -1,
                 over ? kOverIndex : -1);
  else
    pg.wedg("ri", 3.0f, 4.0f, zlo, zhi, p.wedge_label);
  pg.sci(1);
  pg.sch(1.0f);
  pg.slw(3);
  pg.lab(label_text(p.fields.xlabel), label_text(p.fields.ylabel), label_text(p.fields.title));
  pg.sci(0);
  pg.slw(3);
  if (!p.on_page) pg.end();
  return 1;
}

// The page this thread holds open, if any.
Page*& open_page_of_thread() {
  thread_local Page* page = nullptr;
  return page;
}

}  // namespace

Page::Page(OptText file, OptText device, std::array<int, 2> panels,
           std::optional<std::array<std::int64_t, 2>> pixels) try {
  PsTextFields fields = ps_text_fields(std::nullopt, std::nullopt, std::nullopt, file, device);
  rtl::refuse_nul_bytes(textfmt::trim(fields.file), "File name");
  rtl::refuse_nul_bytes(textfmt::trim(fields.device), "Device type");
  fields.file = output_file_field(fields.file, fields.device);
  constexpr int kMostPanels = 10;
  if (panels[0] < 1 || panels[0] > kMostPanels || panels[1] < 1 || panels[1] > kMostPanels)
    maparg::console_line(" Warning: panels must be 1 .. 10 each: 1 x 1 used !!!");
  else
    columns_ = panels[0], rows_ = panels[1];
  Prepared p;
  resolve_page({.pixels = pixels}, textfmt::strip(fields.device), p);
  const std::string_view type = textfmt::strip(fields.device);
  if (type.find('/') != std::string_view::npos) {
    opened_.message = "Unrecognized device type: " + std::string(type);
    pgplot_message(opened_.message);
    opened_.outcome = PsMapResult::Outcome::kDeviceRefused;
    return;
  }
  if (open_page_of_thread() != nullptr) {
    const std::string_view line = " Warning: a page is open on this thread: close it first !!!";
    maparg::console_line(line);
    opened_.outcome = PsMapResult::Outcome::kRefused;
    opened_.message = textfmt::strip(line);
    return;
  }
  device_string_ = device_spec(fields);
  const Pgplot& pg = pgplot();
  if (const int status = pg.beg(0, device_string_, columns_, rows_); status != 1) {
    const PgplotRefusal why = pgplot_refusal(device_string_, status);
    opened_.outcome = why.error != 0 ? PsMapResult::Outcome::kNotOpened
                                     : PsMapResult::Outcome::kDeviceRefused;
    opened_.error = why.error;
    opened_.file = why.file;
    opened_.message = why.message;
    return;
  }
  if (p.pixels) pg.pap_pixels((*p.pixels)[0], (*p.pixels)[1]);
  open_ = true;
  owner_ = std::this_thread::get_id();
  open_page_of_thread() = this;
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

PsMapResult Page::close() {
  if (was_closed_) return closed_;
  if (open_ && owner_ != std::this_thread::get_id()) {
    PsMapResult refused;
    refused.outcome = PsMapResult::Outcome::kRefused;
    refused.message = "Warning: the page is another thread's !!!";
    maparg::console_line(" Warning: the page is another thread's !!!");
    return refused;
  }
  was_closed_ = true;
  if (!open_) return closed_ = opened_;
  open_ = false;
  open_page_of_thread() = nullptr;
  try {
    pgplot().end();
  } catch (...) {
    pgplot_abandon();
    rtl::fatal_if_out_of_memory();
  }
  PsMapResult result;
  result.file = pgplot_output_file(device_string_);
  if (result.file.empty()) {
    result.outcome = PsMapResult::Outcome::kNoFile;
    return closed_ = result;
  }
  result.kind = pgplot_file_kind(device_string_);
  maparg::console_line(" Output in ", result.file);
  return closed_ = result;
}

void Page::abandon() {
  if (!open_) return;
  if (owner_ == std::this_thread::get_id()) {
    pgplot_abandon();
    open_page_of_thread() = nullptr;
  }
  open_ = false;
  was_closed_ = true;
  closed_.outcome = PsMapResult::Outcome::kRefused;
  closed_.message = "the page was abandoned: nothing written";
}

Page::~Page() {
  if (!open_) return;
  try {
    close();
  } catch (...) {
    // A fatal error given back to the caller while the page closes: the
    // file is not written and the earlier one stays (pgend's rule).
    pgplot_abandon();
  }
}

std::string output_file_field(std::string_view file_field, std::string_view device_field) {
  const std::string_view name = textfmt::trim(file_field);
  const std::string_view type = textfmt::trim(device_field);
  const std::size_t n = name.size();
  // A name that already ends in the device type (m.eps with eps, m.vps with
  // vps) is kept: the type is its ending already.
  const bool ends_in_type = !type.empty() && name.ends_with(type);
  if (n < 2 || name.substr(n - 2) != "ps" || type == "ps" || ends_in_type)
    return textfmt::pad_fixed(file_field);
  std::string renamed(name.substr(0, n - 2));
  renamed += type;
  return textfmt::pad_fixed(renamed);
}

PsMapResult ps_map(VecView<float> x, VecView<float> y, VecView<float> z, OptInt log_option,
                   OptText xlabel, OptText ylabel, OptText title, OptText file, OptText device) {
  return ps_map(x, y, z,
         {.log = log_option, .xlabel = xlabel, .ylabel = ylabel, .title = title, .file = file,
          .device = device});
}

// The map of x, y and z, or, with `sampled`, of that field held elsewhere in
// place of z (ps_map_sampled).
PsMapResult detail::map_field(VecView<float> x, VecView<float> y, VecView<float> z,
                      const detail::SampledField* sampled, const PsMapOptions& o) {
  Prepared p;
  p.sampled = sampled;
  p.fields = ps_text_fields(o.xlabel, o.ylabel, o.title, o.file, o.device);
  rtl::refuse_nul_bytes(textfmt::trim(p.fields.file), "File name");
  rtl::refuse_nul_bytes(textfmt::trim(p.fields.device), "Device type");
  p.fields.file = output_file_field(p.fields.file, p.fields.device);
  const bool log_on = maparg::truth(o.log);
  if (log_on) p.fields.title = maparg::log_title(p.fields.title);
  p.table = maparg::colour_request(o.palette);
  resolve_page(o, textfmt::strip(p.fields.device), p);
  p.colours = maparg::cell_colours_request(o.nan_colour, o.under, o.over);
  p.contours = o.contours;
  p.log = log_on;
  if (o.contours) p.contour_colour = maparg::contour_colour_request(o.contour_colour);
  p.contour_labels = maparg::truth(o.contour_labels);

  p.x = x;
  p.y = y;
  p.nx = x.size();
  p.ny = y.size();
  const Index nz = sampled ? sampled->nx * sampled->ny : z.size();
  // Formed wide: a product beyond 32 bits must not pass the test by wrapping.
  const std::int64_t cells = static_cast<std::int64_t>(p.nx) * p.ny;
  // The first warning that refuses the map says why no file was written.
  PsMapResult result;
  const auto refusal = [&result](std::string_view line) {
    maparg::console_line(line);
    if (result.outcome == PsMapResult::Outcome::kWritten) {
      result.outcome = PsMapResult::Outcome::kRefused;
      result.message = textfmt::strip(line);
    }
  };
  constexpr std::string_view kSizeWarning = " Warning: incompatible array sizes !!!";
  if (nz < cells) refusal(kSizeWarning);
  else if (nz != cells) maparg::console_line(kSizeWarning);
  const bool too_few = p.nx < 2 || p.ny < 2;
  if (too_few) refusal(" Warning: at least two x and two y values are needed !!!");
  // Coordinates beyond the single-precision range are infinite here too.
  const bool not_finite = !maparg::all_finite(x) || !maparg::all_finite(y);
  if (not_finite) refusal(" Warning: x and y values must be finite !!!");

  std::vector<float> logs;
  p.zd = z;
  if (log_on) {
    logs = maparg::checked_logs(z);
    p.zd = VecView<float>(logs);
  }
  // The limits as the image's values, in single precision.
  p.zmin = maparg::map_limit<float>(o.zmin, log_on);
  p.zmax = maparg::map_limit<float>(o.zmax, log_on);
  p.zcentre = maparg::map_limit<float>(o.zcentre, log_on);
  if (o.zlabel)
    p.wedge_label = label_text(maparg::text_field(o.zlabel, "", maparg::Reduce::leading));

  // A map on a page is drawn into its next panel, when it has one; the
  // thread that holds a page open draws no map elsewhere meanwhile (giza
  // has one device for the process).
  if (o.page != nullptr) {
    if (!o.page->is_open()) refusal(" Warning: the page is not open !!!");
    else if (o.page->owner_ != std::this_thread::get_id())
      refusal(" Warning: the page is another thread's !!!");
    else if (o.page->drawn_ >= o.page->panels()) refusal(" Warning: the page has no panel left !!!");
  } else if (open_page_of_thread() != nullptr) {
    refusal(" Warning: a page is open on this thread: the map is drawn on it or not at all !!!");
  }

  // Too few values would be read past their end, too few coordinates give no
  // spacing, coordinates that are not finite no place on the page: nothing is
  // drawn and no file is made.
  if (result.outcome == PsMapResult::Outcome::kRefused) return result;
  if (o.page != nullptr) {
    p.on_page = true;
    ps_map_draw(p, o.page->device_string_);
    ++o.page->drawn_;
    result.outcome = PsMapResult::Outcome::kOnPage;
    return result;
  }
  // A device type is what follows the last "/" of the device string: one
  // holding a "/" would make part of it a file name.
  const std::string_view type = textfmt::strip(p.fields.device);
  if (type.find('/') != std::string_view::npos) {
    result.message = "Unrecognized device type: " + std::string(type);
    pgplot_message(result.message);
    result.outcome = PsMapResult::Outcome::kDeviceRefused;
    return result;
  }
  const std::string device_string = device_spec(p.fields);
  if (const int status = ps_map_draw(p, device_string); status != 1) {
    const PgplotRefusal why = pgplot_refusal(device_string, status);
    result.outcome = why.error != 0 ? PsMapResult::Outcome::kNotOpened
                                    : PsMapResult::Outcome::kDeviceRefused;
    result.error = why.error;
    result.file = why.file;
    result.message = why.message;
    return result;
  }
  result.file = pgplot_output_file(device_string);
  if (result.file.empty()) {
    result.outcome = PsMapResult::Outcome::kNoFile;
    return result;
  }
  result.kind = pgplot_file_kind(device_string);
  maparg::console_line(" Output in ", result.file);
  return result;
}

PsMapResult ps_map(VecView<float> x, VecView<float> y, VecView<float> z,
                   const PsMapOptions& o) try {
  return detail::map_field(x, y, z, nullptr, o);
} catch (...) {
  // A plot cut short leaves no device open: the next one would finish its
  // file. A page it was drawn on is dropped with it, its file unwritten.
  pgplot_abandon();
  if (o.page != nullptr && o.page->open_) {
    o.page->open_ = false;
    o.page->was_closed_ = true;
    o.page->closed_.outcome = PsMapResult::Outcome::kRefused;
    o.page->closed_.message = "the page was not written: a fatal error stopped a map on it";
    open_page_of_thread() = nullptr;
  }
  rtl::fatal_if_out_of_memory();
}


namespace detail {

bool samples_cells(VecView<float> x, VecView<float> y, const PsMapOptions& o) {
  const std::string device = maparg::name_field(o.device, "ps");
  const std::string_view type = textfmt::strip(device);
  const bool pixels = textfmt::same_ignoring_case(type, "png") ||
                      textfmt::same_ignoring_case(type, "tpng");
  if (!pixels || o.page != nullptr || maparg::truth(o.log) || o.contours || o.nan_colour ||
      o.under || o.over || x.size() < 2 || y.size() < 2)
    return false;
  return evenly_spaced(maparg::to_vector<float>(x)) && evenly_spaced(maparg::to_vector<float>(y));
}

PsMapResult ps_map_sampled(VecView<float> x, VecView<float> y, const SampledField& field,
                           const PsMapOptions& o) try {
  return map_field(x, y, VecView<float>(), &field, o);
} catch (...) {
  pgplot_abandon();  // never on a page: samples_cells refuses pages
  rtl::fatal_if_out_of_memory();
}

}  // namespace detail

}  // namespace mapps
