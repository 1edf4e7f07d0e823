// Images with each cell in one colour over giza's PGIMAG (see plot_images.h).

#include "mapps/pgplot/plot_images.h"

#include <cpgplot.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "mapps/compat/embedded_pictures.h"
#include "mapps/pgplot/plot_text.h"

namespace mapps {
namespace {

// The current viewport in device units and the window over it: device
// coordinate = origin + scale * world coordinate, along each axis.
struct DeviceFrame {
  double x1, x2, y1, y2;  // the viewport
  double sx, sy;          // device units to a world unit
  double ox, oy;
};

DeviceFrame device_frame() {
  float px1, px2, py1, py2, wx1, wx2, wy1, wy2;
  cpgqvp(3, &px1, &px2, &py1, &py2);
  cpgqwin(&wx1, &wx2, &wy1, &wy2);
  const double sx = (static_cast<double>(px2) - px1) / (static_cast<double>(wx2) - wx1);
  const double sy = (static_cast<double>(py2) - py1) / (static_cast<double>(wy2) - wy1);
  return {px1, px2, py1, py2, sx, sy, px1 - sx * wx1, py1 - sy * wy1};
}

// Storage that giza or cairo will take unchecked, had and given back just
// before: too little of it is std::bad_alloc ("Out of memory") while the
// device is still sound, where giza would write through a null pointer
// and cairo's PostScript and PDF surfaces crash as they finish the page.
void reserve(std::size_t bytes) {
  void* volatile buffer = std::malloc(bytes);  // volatile: never optimised away
  if (buffer == nullptr) throw std::bad_alloc();
  std::free(buffer);
}

// giza renders an image into a pixel buffer of its own, 4 bytes a cell, and
// cairo copies it as giza lets it go.
void giza_image(const float* a, int idim, int jdim, int i1, int i2, int j1, int j2, float a1,
                float a2, const float* tr, PageImages& page) {
  const std::size_t cells =
      static_cast<std::size_t>(i2 - i1 + 1) * static_cast<std::size_t>(j2 - j1 + 1);
  reserve(8 * cells);
  page.largest = std::max(page.largest, cells);
  cpgimag(a, idim, jdim, i1, i2, j1, j2, a1, a2, tr);
}

// One axis of a resampled image: new cell k (from 0) has the value of
// original cell `first` + `step` * k rounded to the nearest (from 1, kept
// within 1..n), and `count` new cells.
struct Resampling {
  double first, step;
  int count;
  std::vector<std::size_t> originals(int n) const {
    std::vector<std::size_t> out(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
      const double nearest = std::floor(first + step * k + 0.5);
      out[k] = static_cast<std::size_t>(nearest >= n ? n : (nearest >= 1 ? nearest : 1)) - 1;
    }
    return out;
  }
};

CellSource& cell_source() {
  thread_local CellSource source;
  return source;
}

// `image` resampled along i by `along_i` and along j by `along_j`, drawn with
// new cell (k, l) (from 1) centred by `t`. An image without cells of its own
// takes them from the thread's cell source.
void draw_resampled(const Image& image, const Resampling& along_i, const Resampling& along_j,
                    const float* t, PageImages& page) {
  const std::vector<std::size_t> columns = along_i.originals(image.ni);
  std::vector<float> b;
  if (image.a == nullptr) {
    const CellSource source = std::move(cell_source());
    cell_source() = nullptr;
    if (!source) return;
    b = source(columns, along_j.originals(image.nj));
    if (b.size() != columns.size() * static_cast<std::size_t>(along_j.count)) return;
  } else {
    b.reserve(columns.size() * static_cast<std::size_t>(along_j.count));
    for (const std::size_t j : along_j.originals(image.nj)) {
      const float* cells = image.a + j * image.row;
      for (const std::size_t i : columns) b.push_back(cells[i]);
    }
  }
  giza_image(b.data(), along_i.count, along_j.count, 1, along_i.count, 1, along_j.count,
             image.a1, image.a2, t, page);
}

// The device pixels (columns or rows, from 0) whose centres lie in [lo, hi)
// of an axis: the first and how many.
struct Pixels {
  double first;
  int count;
};

Pixels pixels_between(double lo, double hi) {
  const double first = std::ceil(lo - 0.5);
  const double last = std::ceil(hi - 0.5);  // one past
  if (!(first < last)) return {0, 0};       // also for bounds that are no number
  return {first, static_cast<int>(last - first)};
}

// An image whose cells run along the device's axes, drawn as the device's
// pixels that lie in it: each pixel takes the cell under its centre, and the
// pattern cairo draws maps its cells one to one onto whole pixels, so that its
// smoothing has nothing to mix. Its size is that of the viewport at most, so a
// map of many small cells costs no more than one of few large ones, and no
// image has more than one cell to a pixel (cairo takes none with more than
// 2^15 to a device unit).
void draw_on_pixels(const Image& image, const DeviceFrame& f, PageImages& page) {
  const auto& tr = image.tr;
  // Device units from cell to cell along x and y, and the axis of the image
  // (i or j) that runs along x.
  const bool i_along_x = tr[2] == 0.0f && tr[4] == 0.0f;
  const double step_x = f.sx * (i_along_x ? tr[1] : tr[2]);
  const double step_y = f.sy * (i_along_x ? tr[5] : tr[4]);
  const double x0 = f.ox + f.sx * tr[0];  // of cell (0, 0)
  const double y0 = f.oy + f.sy * tr[3];
  const int nx = i_along_x ? image.ni : image.nj;
  const int ny = i_along_x ? image.nj : image.ni;
  // The image's extent, cells reaching half a step either side of their centres.
  const auto extent = [](double origin, double step, int n, double v1, double v2) {
    const double a = origin + step * 0.5, b = origin + step * (n + 0.5);
    return pixels_between(std::max(std::min(a, b), std::min(v1, v2)),
                          std::min(std::max(a, b), std::max(v1, v2)));
  };
  const auto [column, columns] = extent(x0, step_x, nx, f.x1, f.x2);
  const auto [row, rows] = extent(y0, step_y, ny, f.y1, f.y2);
  if (columns == 0 || rows == 0) return;
  // Pixel centre c + 1/2 lies at cell (c + 1/2 - origin) / step.
  const Resampling along_x{(column + 0.5 - x0) / step_x, 1.0 / step_x, columns};
  const Resampling along_y{(row + 0.5 - y0) / step_y, 1.0 / step_y, rows};
  // New cell (k, l) is pixel (column + k - 1, row + l - 1), centred at
  // device (column + k - 1/2, row + l - 1/2).
  const float t[6] = {static_cast<float>((column - 0.5 - f.ox) / f.sx),
                      static_cast<float>(1.0 / f.sx), 0.0f,
                      static_cast<float>((row - 0.5 - f.oy) / f.sy), 0.0f,
                      static_cast<float>(1.0 / f.sy)};
  if (i_along_x) {
    draw_resampled(image, along_x, along_y, t, page);
    return;
  }
  // Cells along j run along x: the transposed image, drawn the same way.
  std::vector<float> transposed;
  transposed.reserve(static_cast<std::size_t>(image.ni) * static_cast<std::size_t>(image.nj));
  for (int i = 0; i < image.ni; ++i)
    for (int j = 0; j < image.nj; ++j) transposed.push_back(image.a[j * image.row + i]);
  const Image swapped{transposed.data(), static_cast<std::size_t>(image.nj), image.nj, image.ni,
                      image.a1, image.a2, {tr[0], tr[2], tr[1], tr[3], tr[5], tr[4]}};
  draw_resampled(swapped, along_x, along_y, t, page);
}

// Images in blocks (SVG, and on PNG an image turned against the device's
// axes, which can have no pixels of its own: pixels beside it would be
// covered): each cell is drawn as a block of b x b equal cells, at least
// `per_unit` of them to a device unit (as below for each device), so that
// smoothing stays within a sliver of half a block at each cell's edge; blocks
// stop at this many cells along an axis. Cells are merged where there are
// more than this many to a device unit: more than a pixel can show, and
// cairo's PNG surface takes no image with more than 2^15.
constexpr int kMostBlockedCellsPerAxis = 4096;
constexpr double kMostCellsPerDeviceUnit = 4096;
// On PNG, where cairo smooths at the device's own pixels: blocks of half a
// pixel.
constexpr double kPngBlocksPerDeviceUnit = 2;
// On SVG, where viewers smooth at whatever scale they show the picture:
// blocks of at most 1.4 device units, so that the smoothing reaches 0.7 units
// into a cell: about 0.7 pixels at the 96 pixels to an inch at which SVG
// viewers show a picture by default (a device unit is 0.765 points), 1.4
// pixels shown twice as large.
constexpr double kSvgBlocksPerDeviceUnit = 1 / 1.4;
// What drawing a cell as an image of its own costs, in cells of an image in
// blocks: about 350 bytes of the file (its picture, clip and reference) and
// 9 microseconds, as much time as 200 cells in blocks take and as many bytes
// as thousands. An SVG image is drawn cell by cell when that costs less, as
// for a map of a few large cells, whose blocks are hundreds of cells wide.
constexpr double kCellImageCost = 2000;

// Along an axis of n cells `step` device units apart: the cells drawn,
// covering the same length (0 for an image thinner than one merged cell).
Resampling blocks_along(int n, double step, double per_unit) {
  const double most = std::floor(n * step * kMostCellsPerDeviceUnit);
  int m = n;
  if (!(most >= 1.0)) {
    m = 0;  // also for a step that is no number
  } else if (most < n) {
    m = static_cast<int>(most);
  } else {
    const double wanted = std::ceil(step * per_unit);
    const double b =
        std::min(wanted, std::floor(static_cast<double>(kMostBlockedCellsPerAxis) / n));
    if (b >= 2.0) m = n * static_cast<int>(b);
  }
  // New cell k spans original cells p + q*k -+ q/2 with q = n / m.
  const double q = static_cast<double>(n) / std::max(m, 1);
  return {0.5 + 0.5 * q, q, m};
}

struct Blocks {
  Resampling along_i, along_j;
};

Blocks blocks_of(const Image& image, const DeviceFrame& f, double per_unit) {
  const auto& tr = image.tr;
  return {blocks_along(image.ni, std::hypot(tr[1] * f.sx, tr[4] * f.sy), per_unit),
          blocks_along(image.nj, std::hypot(tr[2] * f.sx, tr[5] * f.sy), per_unit)};
}

void draw_in_blocks(const Image& image, const Blocks& blocks, PageImages& page) {
  const auto& tr = image.tr;
  const auto& [along_i, along_j] = blocks;
  if (along_i.count < 1 || along_j.count < 1) return;
  // New cell k (from 1) is centred at original cell first + step * (k - 1).
  const double pi = along_i.first - along_i.step, pj = along_j.first - along_j.step;
  const float t[6] = {static_cast<float>(tr[0] + tr[1] * pi + tr[2] * pj),
                      static_cast<float>(tr[1] * along_i.step),
                      static_cast<float>(tr[2] * along_j.step),
                      static_cast<float>(tr[3] + tr[4] * pi + tr[5] * pj),
                      static_cast<float>(tr[4] * along_i.step),
                      static_cast<float>(tr[5] * along_j.step)};
  draw_resampled(image, along_i, along_j, t, page);
}

// Each cell drawn as an image of that one cell, which no smoothing can mix
// with another. Each reaches half a cell into its neighbours along i and j,
// which are drawn after it and cover that part again: the edge between two
// cells is then smoothed against the earlier cell, never against the
// background, so no seam shows between them.
void draw_cell_by_cell(const Image& image) {
  const auto& tr = image.tr;
  for (int j = 1; j <= image.nj; ++j) {
    // The cell's length along j (in cells) and its centre, reaching into cell j + 1.
    const double sj = j < image.nj ? 1.5 : 1.0;
    const double cj = j + 0.5 * (sj - 1.0);
    for (int i = 1; i <= image.ni; ++i) {
      const double si = i < image.ni ? 1.5 : 1.0;
      const double ci = i + 0.5 * (si - 1.0);
      // The one cell, centred at (ci, cj) of the image, si x sj of its cells large.
      const float t[6] = {static_cast<float>(tr[0] + tr[1] * (ci - si) + tr[2] * (cj - sj)),
                          static_cast<float>(tr[1] * si), static_cast<float>(tr[2] * sj),
                          static_cast<float>(tr[3] + tr[4] * (ci - si) + tr[5] * (cj - sj)),
                          static_cast<float>(tr[4] * si), static_cast<float>(tr[5] * sj)};
      const float value = image.a[static_cast<std::size_t>(j - 1) * image.row + (i - 1)];
      cpgimag(&value, 1, 1, 1, 1, 1, 1, image.a1, image.a2, t);
    }
  }
}

// giza's window takes a range only when its length in single precision is
// finite and above 1e-31 (giza 1.3.2 refuses a shorter one with
// "giza_set_window: Invalid arguments"; a longer one than FLT_MAX leaves no
// steps to draw).
constexpr double kShortestGizaWindow = 1e-31;

// The power of ten the wedge from fg to bg is drawn in units of: 0 when giza's
// window takes the range as it is, else that of the larger end, which puts the
// ends within -10 .. 10. Ends that are both zero, or not finite, have no
// such power: 0.
int wedge_power(float fg, float bg) {
  const float length = std::fabs(bg - fg);
  if (std::isfinite(length) && std::fabs(static_cast<double>(bg) - fg) > kShortestGizaWindow)
    return 0;
  const double largest =
      std::max(std::fabs(static_cast<double>(fg)), std::fabs(static_cast<double>(bg)));
  if (!(largest > 0) || !std::isfinite(largest)) return 0;
  return static_cast<int>(std::floor(std::log10(largest)));
}

// A triangle of the corners (x[k], y[k]) in normalized device coordinates,
// filled in colour index `ci` and outlined in the current colour; nothing for
// a negative index. The viewport, window, colour and fill style are left as
// they were.
void draw_wedge_end(int ci, std::array<float, 3> x, std::array<float, 3> y) {
  if (ci < 0) return;
  float vx1, vx2, vy1, vy2, wx1, wx2, wy1, wy2;
  cpgqvp(0, &vx1, &vx2, &vy1, &vy2);
  cpgqwin(&wx1, &wx2, &wy1, &wy2);
  int frame = 1, fill = 1;
  cpgqci(&frame);
  cpgqfs(&fill);
  cpgsvp(0.0f, 1.0f, 0.0f, 1.0f);
  cpgswin(0.0f, 1.0f, 0.0f, 1.0f);
  const float px[4] = {x[0], x[1], x[2], x[0]};
  const float py[4] = {y[0], y[1], y[2], y[0]};
  cpgsci(ci);
  cpgsfs(1);
  cpgpoly(3, px, py);
  cpgsci(frame);
  cpgline(4, px, py);
  cpgsfs(fill);
  cpgsvp(vx1, vx2, vy1, vy2);
  cpgswin(wx1, wx2, wy1, wy2);
}

}  // namespace

void set_cell_source(CellSource source) { cell_source() = std::move(source); }

bool has_cell_source() { return static_cast<bool>(cell_source()); }

void draw_image(const Image& image, ImageCells cells, PageImages& page) {
  const auto& tr = image.tr;
  // Cells held elsewhere are had only for the pixels of a device of pixels.
  if (image.a == nullptr && (cells != ImageCells::kDevicePixels || (tr[2] != 0.0f || tr[4] != 0.0f)))
    return;
  if (cells == ImageCells::kAsGiven) {
    giza_image(image.a, static_cast<int>(image.row), image.nj, 1, image.ni, 1, image.nj,
               image.a1, image.a2, tr.data(), page);
    return;
  }
  const DeviceFrame f = device_frame();
  const bool along_axes = (tr[2] == 0.0f && tr[4] == 0.0f) || (tr[1] == 0.0f && tr[5] == 0.0f);
  if (cells == ImageCells::kDevicePixels) {
    if (along_axes)
      draw_on_pixels(image, f, page);
    else
      draw_in_blocks(image, blocks_of(image, f, kPngBlocksPerDeviceUnit), page);
    return;
  }
  Blocks blocks = blocks_of(image, f, kSvgBlocksPerDeviceUnit);
  // Along an axis of one cell there is nothing to smooth with: viewers pad
  // an image with its own edge.
  if (image.ni == 1 && blocks.along_i.count > 1) blocks.along_i = {1.0, 1.0, 1};
  if (image.nj == 1 && blocks.along_j.count > 1) blocks.along_j = {1.0, 1.0, 1};
  const double in_blocks = static_cast<double>(blocks.along_i.count) * blocks.along_j.count;
  const double as_given = static_cast<double>(image.ni) * image.nj;
  const bool none_merged = blocks.along_i.count >= image.ni && blocks.along_j.count >= image.nj;
  if (none_merged && as_given * kCellImageCost < in_blocks) {
    draw_cell_by_cell(image);
    return;
  }
  draw_in_blocks(image, blocks, page);
  page.rows_repeat |= blocks.along_i.count > image.ni || blocks.along_j.count > image.nj;
}

void reserve_page_end(const PageImages& page) {
  // cairo's PostScript and PDF surfaces keep a copy of each image and encode
  // it into a buffer of their own as the page is finished: twice giza's
  // 4 bytes a cell for the largest.
  reserve(8 * page.largest);
}

void draw_rectangle(float x1, float x2, float y1, float y2, ImageCells cells) {
  if (cells != ImageCells::kDevicePixels) {
    cpgrect(x1, x2, y1, y2);
    return;
  }
  // Each edge moved to the pixel boundary below the first pixel centre at
  // or beyond it: the rectangle covers whole pixels, those whose centres it
  // holds, as an image on the device's pixels gives its cells.
  const DeviceFrame f = device_frame();
  const auto snapped = [](double world, double origin, double scale) {
    return static_cast<float>((std::ceil(origin + scale * world - 0.5) - origin) / scale);
  };
  cpgrect(snapped(x1, f.ox, f.sx), snapped(x2, f.ox, f.sx), snapped(y1, f.oy, f.sy),
          snapped(y2, f.oy, f.sy));
}

void end_device(ImageCells cells, const PageImages& page) {
  // cairo writes an SVG file's pictures as its page is finished.
  const PicturesWrittenQuickly quickly(cells == ImageCells::kBlocks && page.rows_repeat);
  cpgend();
}

void draw_wedge(const std::string& side, float disp, float width, float fg, float bg,
                const std::string& label, ImageCells cells, PageImages& page, WedgeEnds ends) {
  float vx1, vx2, vy1, vy2, wx1, wx2, wy1, wy2, xch, ych;
  cpgqvp(0, &vx1, &vx2, &vy1, &vy2);
  cpgqwin(&wx1, &wx2, &wy1, &wy2);
  cpgqcs(0, &xch, &ych);
  const auto has = [&side](char c) {
    return side.find(c) != std::string::npos ||
           side.find(static_cast<char>(std::toupper(c))) != std::string::npos;
  };
  constexpr int kSteps = 400;
  // A range giza's window cannot hold is drawn in units of a power of ten,
  // which a note by the wedge gives.
  const int power = wedge_power(fg, bg);
  if (power != 0) {
    const double unit = std::pow(10.0, power);
    fg = static_cast<float>(fg / unit);
    bg = static_cast<float>(bg / unit);
  }
  const float lo = std::min(fg, bg);
  const float hi = std::max(fg, bg);
  const float dv = (hi - lo) / kSteps;
  std::vector<float> steps(kSteps);
  for (int k = 0; k < kSteps; ++k) steps[k] = lo + (static_cast<float>(k) + 0.5f) * dv;
  const bool bottom = has('b');
  const bool top = !bottom && has('t');
  const bool left = !bottom && !top && has('l');
  const bool right = !bottom && !top && !left && has('r');
  if (bottom || top) {
    const float y1 = bottom ? vy1 - disp * ych - width * xch : vy2 + disp * ych;
    cpgsvp(vx1, vx2, y1, y1 + width * xch);
    cpgswin(lo, hi, 0.0f, 1.0f);
    const std::array<float, 6> tr = {lo - 0.5f * dv, dv, 0.0f, -0.5f, 0.0f, 1.0f};
    draw_image({steps.data(), kSteps, kSteps, 1, fg, bg, tr}, cells, page);
    cpgbox(bottom ? "BCNST" : "BCMST", 0.0f, 0, "BC", 0.0f, 0);
    // Across the wedge's thickness t, along x as long as t is high.
    const float t = width * xch, along = t * xch / ych, mid = y1 + 0.5f * t;
    draw_wedge_end(ends.low_ci, {vx1, vx1, vx1 - along}, {y1, y1 + t, mid});
    draw_wedge_end(ends.high_ci, {vx2, vx2, vx2 + along}, {y1, y1 + t, mid});
  } else if (left || right) {
    const float x1 = left ? vx1 - disp * xch - width * xch : vx2 + disp * xch;
    cpgsvp(x1, x1 + width * xch, vy1, vy2);
    cpgswin(0.0f, 1.0f, lo, hi);
    const std::array<float, 6> tr = {-0.5f, 1.0f, 0.0f, lo - 0.5f * dv, 0.0f, dv};
    draw_image({steps.data(), 1, 1, kSteps, fg, bg, tr}, cells, page);
    cpgbox("BC", 0.0f, 0, left ? "BCNST" : "BCMST", 0.0f, 0);
    // Across the wedge's width w, along y as long as w is wide.
    const float w = width * xch, along = width * ych, mid = x1 + 0.5f * w;
    draw_wedge_end(ends.low_ci, {x1, x1 + w, mid}, {vy1, vy1, vy1 - along});
    draw_wedge_end(ends.high_ci, {x1, x1 + w, mid}, {vy2, vy2, vy2 + along});
  }
  if (power != 0) {
    // "x10" and the power raised: above a wedge at the side, right of one
    // above or below the map.
    const std::string note = "\\x10\\u" + std::to_string(power) + "\\d";
    if (bottom || top)
      cpgmtxt("RV", 0.5f, 0.5f, 0.0f, note.c_str());
    else if (left || right)
      cpgmtxt("T", 0.5f, 0.5f, 0.5f, note.c_str());
  }
  draw_text(side, 2.8f, 1.0f, 1.0f, label);
  cpgsvp(vx1, vx2, vy1, vy2);
  cpgswin(wx1, wx2, wy1, wy2);
}

}  // namespace mapps
