// The PostScript map as a viewer shows it: every device's file is rendered
// to pixels (Ghostscript for PostScript and PDF, rsvg-convert for SVG, the
// PNG itself). Each cell of the map must be one uniform grey, black for the
// lowest value and white for the highest, and labels in any language must be
// drawn.

#include <gtest/gtest.h>

#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <cstdint>
#include <span>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "mapps/pgplot/pgplot.h"
#include "mapps/ps_map.h"
#include "mapps/test_support.h"
#include "rtl/console.h"

namespace mapps {
namespace {

// What a map's drawing placed where: the viewport as PGSVP set it, the
// window PGWNAD fitted into it, and PGIMAG's cells and transform.
struct Placement {
  float vp[4] = {};
  float win[4] = {};
  std::vector<float> cells;
  int ni = 0, nj = 0;
  float tr[6] = {};
};

Placement& placement() {
  static Placement p;
  return p;
}

// giza's table with the placement noted on the way.
const Pgplot& noting_pgplot() {
  static Pgplot table = [] {
    Pgplot t = giza_pgplot();
    t.svp = [](float a, float b, float c, float d) {
      placement().vp[0] = a, placement().vp[1] = b, placement().vp[2] = c, placement().vp[3] = d;
      giza_pgplot().svp(a, b, c, d);
    };
    t.wnad = [](float a, float b, float c, float d) {
      placement().win[0] = a, placement().win[1] = b, placement().win[2] = c,
      placement().win[3] = d;
      giza_pgplot().wnad(a, b, c, d);
    };
    t.imag = [](const float* a, int idim, int jdim, int i1, int i2, int j1, int j2, float a1,
                float a2, const float* tr) {
      Placement& p = placement();
      p.ni = i2 - i1 + 1;
      p.nj = j2 - j1 + 1;
      p.cells.clear();
      for (int j = j1; j <= j2; ++j)
        for (int i = i1; i <= i2; ++i) p.cells.push_back(a[(j - 1) * idim + (i - 1)]);
      std::copy(tr, tr + 6, p.tr);
      giza_pgplot().imag(a, idim, jdim, i1, i2, j1, j2, a1, a2, tr);
    };
    return t;
  }();
  return table;
}

// A device type and the shape of its view surface: 800 x 600 device units
// (square units, about 94 to an inch), or 600 x 800 when portrait.
struct Device {
  const char* type;
  bool portrait;
};

constexpr Device kDevices[] = {
    {"ps", false},  {"cps", false}, {"vps", true}, {"vcps", true}, {"eps", false},
    {"pdf", false}, {"vpdf", true}, {"png", false}, {"tpng", false}, {"svg", false},
};

// Pixels of the rendering to a device unit (the PNG has one).
double pixels_per_unit(const Device& d) { return std::string(d.type).find("png") != std::string::npos ? 1 : 2; }

// The file rendered to an image of pixels_per_unit(d) pixels to a device unit.
QImage rendered(const Device& d, const std::string& file) {
  const std::string type = d.type;
  const int w = static_cast<int>(std::lround((d.portrait ? 600 : 800) * pixels_per_unit(d)));
  const int h = static_cast<int>(std::lround((d.portrait ? 800 : 600) * pixels_per_unit(d)));
  if (type.find("png") != std::string::npos) return QImage(QString::fromStdString(file));
  std::string command;
  if (type == "svg") {
    command = "rsvg-convert -w " + std::to_string(w) + " -h " + std::to_string(h) +
              " -b white -o r.png " + file;
  } else {
    // 8.5 inches to 800 device units.
    const double dpi = pixels_per_unit(d) * 800 / 8.5;
    command = "gs -q -dNOPAUSE -dBATCH -dSAFER -dEPSCrop -sDEVICE=png16m -r" +
              std::to_string(dpi) + " -sOutputFile=r.png " + file;
  }
  if (std::system((command + " > render.out 2>&1").c_str()) != 0) {
    ADD_FAILURE() << command << ":\n" << testing_support::read_all("render.out");
    return {};
  }
  QImage image("r.png");
  EXPECT_EQ(image.width(), w) << command;
  EXPECT_EQ(image.height(), h) << command;
  return image;
}

// The grey of each cell of the map drawn last, read from its rendering:
// every pixel wholly inside the cell (a pixel's margin kept from its edges)
// must have that one grey. The frame's tick marks reach some 6 device units
// into the map: pixels that near the frame are left out, and a cell with no
// pixel beyond them gets -1.
// Where the map drawn last lies in its rendering: world coordinates to
// pixels (x to the right, rows downwards).
struct PixelPlacement {
  double scale, cx, cy, rows;
  double column(double wx) const { return cx + scale * wx; }
  double row(double wy) const { return rows - (cy + scale * wy); }
};

PixelPlacement pixel_placement(const Device& d, const QImage& image) {
  const Placement& p = placement();
  const double su = pixels_per_unit(d);
  const double width = d.portrait ? 600 : 800, height = d.portrait ? 800 : 600;
  // The viewport in pixels, shrunk and centred by PGWNAD to equal scales.
  double x1 = p.vp[0] * width * su, x2 = p.vp[1] * width * su;
  double y1 = p.vp[2] * height * su, y2 = p.vp[3] * height * su;
  const double scale = std::min((x2 - x1) / (p.win[1] - p.win[0]), (y2 - y1) / (p.win[3] - p.win[2]));
  const double cx = 0.5 * (x1 + x2) - 0.5 * scale * (p.win[0] + p.win[1]);
  const double cy = 0.5 * (y1 + y2) - 0.5 * scale * (p.win[2] + p.win[3]);
  return {scale, cx, cy, static_cast<double>(image.height())};
}

// Pixels to a world unit in the map drawn last.
double placement_scale(const Device& d, const QImage& image) {
  return pixel_placement(d, image).scale;
}

// The colour of each cell of the map drawn last: every pixel wholly inside
// the cell (within the window, out of the band of the frame's tick marks)
// must have it; 0 for a cell with no such pixel (colours are opaque, so never
// 0 as a QRgb).
std::vector<QRgb> cell_colours(const Device& d, const QImage& image) {
  const Placement& p = placement();
  const double su = pixels_per_unit(d);
  const auto [scale, cx, cy, rows] = pixel_placement(d, image);
  // The frame (the fitted viewport) less the band of its tick marks.
  const double band = 8 * su;
  const double left = cx + scale * p.win[0] + band, right = cx + scale * p.win[1] - band;
  const double top = rows - (cy + scale * p.win[3]) + band;
  const double bottom = rows - (cy + scale * p.win[2]) - band;
  std::vector<QRgb> colours;
  for (int j = 1; j <= p.nj; ++j)
    for (int i = 1; i <= p.ni; ++i) {
      // The cell's corners in world coordinates, clipped to the window.
      const double wx = p.tr[0] + double{p.tr[1]} * i, wy = p.tr[3] + double{p.tr[5]} * j;
      const double ax = std::max<double>(wx - 0.5 * p.tr[1], p.win[0]);
      const double bx = std::min<double>(wx + 0.5 * p.tr[1], p.win[1]);
      const double ay = std::max<double>(wy - 0.5 * p.tr[5], p.win[2]);
      const double by = std::min<double>(wy + 0.5 * p.tr[5], p.win[3]);
      const int c1 = static_cast<int>(std::ceil(std::max(cx + scale * ax + 1, left)));
      const int c2 = static_cast<int>(std::floor(std::min(cx + scale * bx - 1, right)));
      const int r1 = static_cast<int>(std::ceil(std::max(rows - (cy + scale * by) + 1, top)));
      const int r2 = static_cast<int>(std::floor(std::min(rows - (cy + scale * ay) - 1, bottom)));
      QRgb colour = 0;
      for (int r = r1; r < r2; ++r)
        for (int c = c1; c < c2; ++c) {
          const QRgb rgb = image.pixel(c, r);
          if (colour == 0) colour = rgb;
          if (rgb != colour) {
            ADD_FAILURE() << d.type << ": cell (" << i << ", " << j << ") of value "
                          << p.cells[(j - 1) * p.ni + (i - 1)] << " shows " << std::hex << colour
                          << " and " << rgb << std::dec << " (pixel " << c << ", " << r << ")";
            return colours;
          }
        }
      colours.push_back(colour);
    }
  return colours;
}

// The grey of each cell, as cell_colours finds its colour; -1 for a cell with
// no pixel wholly inside it.
std::vector<int> cell_greys(const Device& d, const QImage& image) {
  std::vector<int> greys;
  for (const QRgb rgb : cell_colours(d, image)) {
    const int g = qGray(rgb);
    if (qRed(rgb) != g || qGreen(rgb) != g || qBlue(rgb) != g) {
      ADD_FAILURE() << d.type << ": cell " << greys.size() + 1 << " has the colour " << std::hex
                    << rgb << std::dec;
      return greys;
    }
    greys.push_back(rgb == 0 ? -1 : g);
  }
  return greys;
}

// The ink (the sum of 255 - grey over the pixels) of the areas around the
// frame of the map drawn last: below it (numbers and x label), left of it
// (numbers and y label) and above it (the title).
struct Ink {
  double below = 0, left = 0, above = 0;
};

Ink ink_around_frame(const Device& d, const QImage& image) {
  const Placement& p = placement();
  const PixelPlacement at = pixel_placement(d, image);
  const double left = at.column(p.win[0]);
  const double top = at.row(p.win[3]), bottom = at.row(p.win[2]);
  Ink ink;
  for (int r = 0; r < image.height(); ++r) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(r));
    for (int c = 0; c < image.width(); ++c) {
      const double v = 255 - qGray(line[c]);
      if (r > bottom) ink.below += v;
      else if (r < top) ink.above += v;
      else if (c < left) ink.left += v;
    }
  }
  return ink;
}

// What `draw` writes to standard output (file descriptor 1).
std::string standard_output_of(const std::function<void()>& draw) {
  std::fflush(stdout);
  FILE* caught = std::tmpfile();
  const int saved = dup(STDOUT_FILENO);
  dup2(fileno(caught), STDOUT_FILENO);
  draw();
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  std::string out;
  std::rewind(caught);
  for (int c; (c = std::fgetc(caught)) != EOF;) out += static_cast<char>(c);
  std::fclose(caught);
  return out;
}

class PsMapCells : public testing_support::InTempFolder {
 protected:
  void SetUp() override {
    InTempFolder::SetUp();
    rtl::change_hooks([&](rtl::Hooks& h) { h.console_listener = [this](std::string_view line) { last_line = line; }; });
    set_pgplot(&noting_pgplot());
  }
  void TearDown() override {
    set_pgplot(nullptr);
    rtl::change_hooks([&](rtl::Hooks& h) { h.console_listener = {}; });
    InTempFolder::TearDown();
  }

  std::string last_line;

  struct Labels {
    const char* xlabel;
    const char* ylabel;
    const char* title;
  };

  // The map of z with options `o` drawn into a file on device d, rendered;
  // a null image when no file was written.
  QImage drawn(const Device& d, const std::vector<float>& x, const std::vector<float>& y,
               const std::vector<float>& z, PsMapOptions o = {}) {
    o.file = "m";
    o.device = d.type;
    ps_map(x, y, z, o);
    const std::string output = "  Output in ";
    EXPECT_EQ(last_line.substr(0, output.size()), output);
    if (last_line.substr(0, output.size()) != output) return {};
    return rendered(d, last_line.substr(output.size()));
  }

  // The map with these labels on device d, rendered.
  QImage map_with(const Device& d, const Labels& l) {
    return drawn(d, {1, 2, 3}, {1, 2}, {0, 1, 2, 3, 4, 5},
                 {.xlabel = l.xlabel, .ylabel = l.ylabel, .title = l.title});
  }

  // Draws z on every device and checks each cell's grey: one per value,
  // darker for a lower value, black for the lowest and white for the highest.
  void expect_uniform_cells(const std::vector<float>& x, const std::vector<float>& y,
                            const std::vector<float>& z) {
    for (const Device& d : kDevices) {
      SCOPED_TRACE(d.type);
      const QImage image = drawn(d, x, y, z);
      ASSERT_FALSE(image.isNull());
      const std::vector<int> greys = cell_greys(d, image);
      ASSERT_EQ(greys.size(), z.size());
      std::map<float, int> grey_of;
      std::size_t seen = 0;
      for (std::size_t k = 0; k < z.size(); ++k) {
        if (greys[k] < 0) continue;
        ++seen;
        const auto [at, added] = grey_of.emplace(z[k], greys[k]);
        ASSERT_EQ(at->second, greys[k]) << "value " << z[k] << " in two greys";
      }
      EXPECT_GT(seen, z.size() / 2) << "cells with pixels wholly inside";
      EXPECT_EQ(grey_of.begin()->second, 0);
      EXPECT_EQ(grey_of.rbegin()->second, 255);
      EXPECT_TRUE(std::is_sorted(grey_of.begin(), grey_of.end(),
                                 [](auto& a, auto& b) { return a.second < b.second; }));
    }
  }
};

TEST_F(PsMapCells, SixCellsAreSixGreys) {
  expect_uniform_cells({1, 2, 3}, {1, 2}, {0, 1, 2, 3, 4, 5});
}

TEST_F(PsMapCells, TheZoomsGridShowsEachCellInOneGrey) {
  std::vector<float> x, y, z;
  for (int i = 0; i < 121; ++i) {
    x.push_back(-2.0f + 0.025f * static_cast<float>(i));
    y.push_back(-1.5f + 0.025f * static_cast<float>(i));
  }
  // Neighbours always differ, so smoothing between them would show.
  for (int j = 0; j < 121; ++j)
    for (int i = 0; i < 121; ++i) z.push_back(static_cast<float>((7 * i + 3 * j) % 11));
  expect_uniform_cells(x, y, z);
}

// Where two cells meet, every pixel between them shows a grey between
// theirs: no line of the background shows through where cells drawn apart
// meet, whatever the devices draw them as. The cells are not a whole number
// of device units wide, so that their edges cut through pixels.
TEST_F(PsMapCells, NoSeamShowsWhereCellsMeet) {
  const std::vector<float> x{1, 2, 3, 4, 5, 6}, y{1, 2};
  std::vector<float> z(12);
  for (std::size_t k = 0; k < z.size(); ++k) z[k] = static_cast<float>(k);
  for (const Device& d : kDevices) {
    SCOPED_TRACE(d.type);
    const QImage image = drawn(d, x, y, z);
    ASSERT_FALSE(image.isNull());
    const std::vector<int> greys = cell_greys(d, image);
    ASSERT_EQ(greys.size(), z.size());
    const Placement& p = placement();
    const PixelPlacement at = pixel_placement(d, image);
    // The middle of the part of cell k (from 1) within the window, along x or y.
    const auto middle = [&](int k, bool along_x) {
      const double centre =
          along_x ? p.tr[0] + double{p.tr[1]} * k : p.tr[3] + double{p.tr[5]} * k;
      const double half = 0.5 * (along_x ? p.tr[1] : p.tr[5]);
      const double lo = std::max(centre - half, double{p.win[along_x ? 0 : 2]});
      const double hi = std::min(centre + half, double{p.win[along_x ? 1 : 3]});
      return 0.5 * (lo + hi);
    };
    // The pixels across the edge of cells a and b, 0.4 cells either side of it.
    const auto expect_no_seam = [&](int a, int b, double c1, double r1, double c2, double r2) {
      const int lo = std::min(greys[a], greys[b]), hi = std::max(greys[a], greys[b]);
      ASSERT_GE(lo, 0);
      const int steps =
          static_cast<int>(std::ceil(std::max(std::abs(c2 - c1), std::abs(r2 - r1))));
      for (int s = 0; s <= steps; ++s) {
        const double t = 0.1 + 0.8 * s / steps;
        const int c = static_cast<int>(c1 + t * (c2 - c1));
        const int r = static_cast<int>(r1 + t * (r2 - r1));
        const int g = qGray(image.pixel(c, r));
        ASSERT_TRUE(g >= lo - 1 && g <= hi + 1)
            << "grey " << g << " at pixel (" << c << ", " << r << ") between cells of greys "
            << greys[a] << " and " << greys[b];
      }
    };
    for (int j = 1; j <= p.nj; ++j)
      for (int i = 1; i <= p.ni; ++i) {
        const int k = (j - 1) * p.ni + (i - 1);
        const double row = at.row(middle(j, false)), column = at.column(middle(i, true));
        if (i < p.ni) {
          const double edge = p.tr[0] + p.tr[1] * (i + 0.5);
          expect_no_seam(k, k + 1, at.column(edge - 0.5 * p.tr[1]), row,
                         at.column(edge + 0.5 * p.tr[1]), row);
        }
        if (j < p.nj) {
          const double edge = p.tr[3] + p.tr[5] * (j + 0.5);
          expect_no_seam(k, k + p.ni, column, at.row(edge - 0.5 * p.tr[5]), column,
                         at.row(edge + 0.5 * p.tr[5]));
        }
      }
  }
}

// Unevenly spaced coordinates, falling ones too: every pixel shows the value
// of the cell its place in the window lies in, the cell spanning from
// half-way to its lower neighbour to half-way to its upper one, as on the
// axes' numbers. Pixels within 2 of a cell's edge, and the frame's band, are
// left out. A column and a row stand out: at x = 100 (21 pixels wide on
// PNG) and y = 251 or 334, both drawn far from there when cells are placed as
// if evenly spaced.
TEST_F(PsMapCells, UnevenCellsLieOverTheirCoordinates) {
  std::vector<float> powers;  // 1 .. 1000, 16 of them, x = 100 the 11th
  for (int i = 0; i < 16; ++i) powers.push_back(static_cast<float>(std::pow(10.0, i / 5.0)));
  const std::vector<float> falling(powers.rbegin(), powers.rend());
  const struct {
    std::vector<float> x, y;
    std::size_t column, row;  // of the stripes
    bool nan_column;  // the column's cells NaN, drawn in a nan_colour of red
  } cases[] = {{powers, powers, 10, 12, false},
               {falling, {1, 334, 667, 1000}, 5, 1, false},
               {powers, powers, 10, 12, true}};
  for (const auto& c : cases) {
    const std::size_t nx = c.x.size(), ny = c.y.size();
    std::vector<float> z;
    for (std::size_t j = 0; j < ny; ++j)
      for (std::size_t i = 0; i < nx; ++i)
        z.push_back(i == c.column && c.nan_column ? NAN : (i == c.column) + 2.0f * (j == c.row));
    const PsMapOptions o = c.nan_column ? PsMapOptions{.nan_colour = maparg::Colour{1, 0, 0}}
                                        : PsMapOptions{};
    // The cell of a coordinate, and whether all of [v - d, v + d] lies in it.
    const auto cell_of = [](const std::vector<float>& a, double v, double d) -> int {
      const auto at = [&](double w) {
        int k = 0;
        while (k + 1 < static_cast<int>(a.size()) &&
               (a[0] < a.back() ? w > 0.5 * (a[k] + a[k + 1]) : w < 0.5 * (a[k] + a[k + 1])))
          ++k;
        return k;
      };
      return at(v - d) == at(v + d) ? at(v) : -1;
    };
    for (const Device& d : kDevices) {
      SCOPED_TRACE(d.type);
      const QImage image = drawn(d, c.x, c.y, z, o);
      ASSERT_FALSE(image.isNull());
      const Placement& p = placement();
      // The viewport in pixels and the window fitted into it at equal scales,
      // either way round.
      const double su = pixels_per_unit(d);
      const double width = d.portrait ? 600 : 800, height = d.portrait ? 800 : 600;
      const double x1 = p.vp[0] * width * su, x2 = p.vp[1] * width * su;
      const double y1 = p.vp[2] * height * su, y2 = p.vp[3] * height * su;
      const double scale = std::min((x2 - x1) / std::abs(p.win[1] - p.win[0]),
                                    (y2 - y1) / std::abs(p.win[3] - p.win[2]));
      const double sx = p.win[1] > p.win[0] ? scale : -scale;
      const double sy = p.win[3] > p.win[2] ? scale : -scale;
      const double band = 8 * su + 2, margin = 2;
      std::map<float, QRgb> colour_of;
      std::map<float, int> seen;
      for (int r = 0; r < image.height(); ++r)
        for (int col = 0; col < image.width(); ++col) {
          // The pixel's centre in the window.
          const double wx = 0.5 * (p.win[0] + p.win[1]) + (col + 0.5 - 0.5 * (x1 + x2)) / sx;
          const double wy =
              0.5 * (p.win[2] + p.win[3]) + (image.height() - r - 0.5 - 0.5 * (y1 + y2)) / sy;
          const double b = band / scale;
          if (wx < std::min(p.win[0], p.win[1]) + b || wx > std::max(p.win[0], p.win[1]) - b ||
              wy < std::min(p.win[2], p.win[3]) + b || wy > std::max(p.win[2], p.win[3]) - b)
            continue;
          const int i = cell_of(c.x, wx, margin / scale), j = cell_of(c.y, wy, margin / scale);
          if (i < 0 || j < 0) continue;
          const float v = std::isnan(z[j * nx + i]) ? 1.0f : z[j * nx + i];
          const QRgb rgb = image.pixel(col, r);
          const auto [at, added] = colour_of.emplace(v, rgb);
          ++seen[v];
          ASSERT_EQ(at->second, rgb) << "value " << v << " at x " << wx << ", y " << wy
                                     << " (pixel " << col << ", " << r << ")" << std::hex
                                     << ": " << rgb << " and " << at->second;
        }
      ASSERT_EQ(colour_of.size(), c.nan_column ? 3u : 4u);
      EXPECT_EQ(colour_of[0], qRgb(0, 0, 0));
      EXPECT_EQ(colour_of[c.nan_column ? 2 : 3], qRgb(255, 255, 255));
      EXPECT_NE(colour_of[1], colour_of[2]);
      if (c.nan_column) { EXPECT_EQ(colour_of[1], qRgb(255, 0, 0)); }
      for (const auto& [v, n] : seen) EXPECT_GT(n, 50) << "pixels of value " << v;
    }
  }
}

// Each label drawn with characters beyond ASCII (through giza's escapes or
// filled from a font's outlines) carries about the ink of its ASCII spelling,
// on every device; blank labels show what else those areas hold.
TEST_F(PsMapCells, LabelsInAnyLanguageAreDrawn) {
  const Labels blank{" ", " ", " "};
  const std::pair<Labels, Labels> spellings[] = {
      {{"Température", "μ [m²]", "Größe"}, {"Temperature", "u [m2]", "Grosse"}},
      {{"Température", "μ [m²]", "°C"}, {"Temperature", "u [m2]", "oC"}},
  };
  for (const Device& d : kDevices) {
    SCOPED_TRACE(d.type);
    const Ink none = ink_around_frame(d, map_with(d, blank));
    for (const auto& [wide, ascii] : spellings) {
      SCOPED_TRACE(wide.title);
      const Ink w = ink_around_frame(d, map_with(d, wide));
      const Ink a = ink_around_frame(d, map_with(d, ascii));
      const std::pair<double, double> areas[] = {{w.below - none.below, a.below - none.below},
                                                 {w.left - none.left, a.left - none.left},
                                                 {w.above - none.above, a.above - none.above}};
      for (const auto& [label, reference] : areas) {
        ASSERT_GT(reference, 0);
        EXPECT_GT(label / reference, 0.6) << "below, left, above: " << label << " " << reference;
        EXPECT_LT(label / reference, 1.5) << "below, left, above: " << label << " " << reference;
      }
    }
  }
}

// A line feed or carriage return in a label is drawn as a blank, and nothing
// but the console's lines reaches standard output.
TEST_F(PsMapCells, ControlCharactersInLabelsAreBlanks) {
  for (const Device& d : {kDevices[0], kDevices[7]}) {
    SCOPED_TRACE(d.type);
    QImage with_controls, with_blanks;
    const std::string written = standard_output_of(
        [&] { with_controls = map_with(d, {"a\nb", "c\r\nd", "T\ti\vt"}); });
    const std::string expected =
        standard_output_of([&] { with_blanks = map_with(d, {"a b", "c  d", "T i t"}); });
    EXPECT_EQ(written, expected);
    EXPECT_TRUE(with_controls == with_blanks);
  }
}

// The wedge's label and PGBOX's options reach giza as printable ASCII too: a
// wedge labelled beyond ASCII leaves every later text of the page drawn.
TEST_F(PsMapCells, AWedgeLabelBeyondAsciiLeavesTheOtherTextsDrawn) {
  static Pgplot table = noting_pgplot();
  table.wedg = [](std::string_view side, float disp, float width, float fg, float bg,
                  std::string_view) { giza_pgplot().wedg(side, disp, width, fg, bg, "\xCE\xBC"); };
  table.box = [](std::string_view xopt, float xtick, int nxsub, std::string_view yopt, float ytick,
                 int nysub) {
    giza_pgplot().box(std::string(xopt) + "\xC3", xtick, nxsub, std::string(yopt) + "\n", ytick,
                      nysub);
  };
  const Device& png = kDevices[7];
  const Labels labels{"Temperature", "u [m2]", "Grosse"};
  const Ink plain = ink_around_frame(png, map_with(png, labels));
  set_pgplot(&table);
  const Ink with_mu = ink_around_frame(png, map_with(png, labels));
  // The title's area reaches over the wedge's top, where its label ends.
  EXPECT_NEAR(with_mu.below, plain.below, 0.01 * plain.below);
  EXPECT_NEAR(with_mu.left, plain.left, 0.01 * plain.left);
  EXPECT_NEAR(with_mu.above, plain.above, 0.01 * plain.above);
}

// A colour table and a range of the caller's own on every device: the
// lowest and highest cells take the table's end colours exactly (values
// beyond the range too), a value between them the interpolated colour, as
// near as giza's steps of colour index allow; the same value in another
// frame with the same range takes the same colour.
TEST_F(PsMapCells, ColoursComeFromTheTableWithinTheRangeGiven) {
  const maparg::PalettePoint points[] = {{0, 1, 0, 0}, {0.5f, 0, 1, 0}, {1, 0, 0, 1}};
  const std::vector<float> x{1, 2, 3}, y{1, 2};
  const auto near = [](QRgb c, int r, int g, int b) {
    return std::abs(qRed(c) - r) <= 3 && std::abs(qGreen(c) - g) <= 3 &&
           std::abs(qBlue(c) - b) <= 3;
  };
  for (const Device& d : kDevices) {
    SCOPED_TRACE(d.type);
    const auto draw = [&](const std::vector<float>& z) {
      const QImage image = drawn(d, x, y, z, {.palette = points, .zmin = -1, .zmax = 3});
      return image.isNull() ? std::vector<QRgb>() : cell_colours(d, image);
    };
    const std::vector<QRgb> first = draw({-1, 0, 1, 3, 4, -5});
    ASSERT_EQ(first.size(), 6u);
    EXPECT_EQ(first[0], qRgb(255, 0, 0)) << std::hex << first[0];  // zmin
    EXPECT_EQ(first[5], qRgb(255, 0, 0)) << std::hex << first[5];  // below it
    EXPECT_EQ(first[3], qRgb(0, 0, 255)) << std::hex << first[3];  // zmax
    EXPECT_EQ(first[4], qRgb(0, 0, 255)) << std::hex << first[4];  // beyond it
    EXPECT_TRUE(near(first[1], 128, 128, 0)) << std::hex << first[1];  // a quarter
    EXPECT_TRUE(near(first[2], 0, 255, 0)) << std::hex << first[2];    // half-way
    // Another frame: its own data range differs, its colours do not.
    const std::vector<QRgb> second = draw({1, 1, 0, 0, 2, 2});
    ASSERT_EQ(second.size(), 6u);
    EXPECT_EQ(second[0], first[2]);
    EXPECT_EQ(second[2], first[1]);
  }
}

// Tables of more control points than giza takes: the PNG map's cells have
// the colours the screen map gives the same cells (maparg::level_colours at
// the cells' levels), within rounding, and giza says nothing. The table
// changes fast along its levels, so points taken at other levels than giza's
// colour indices show other colours.
TEST_F(PsMapCells, TablesOfManyPointsGiveTheScreenMapsColours) {
  const Device png{"png", false};
  // 16 cells at levels 0, 17, ... 255 of the data's range 0 .. 255.
  const std::vector<float> x{1, 2, 3, 4}, y{1, 2, 3, 4};
  std::vector<float> z;
  for (int k = 0; k < 16; ++k) z.push_back(17.0f * static_cast<float>(k));
  const double pi = std::acos(-1.0);
  for (const int n : {1000, 300000}) {
    SCOPED_TRACE(n);
    std::vector<maparg::PalettePoint> points;
    for (int k = 0; k < n; ++k) {
      const double l = k + 1 == n ? 1.0 : static_cast<double>(k) / (n - 1);
      points.push_back({static_cast<float>(l), static_cast<float>(0.5 + 0.5 * std::sin(14 * pi * l)),
                        static_cast<float>(l), static_cast<float>(0.5 + 0.5 * std::cos(6 * pi * l))});
    }
    const maparg::Palette palette = std::span<const maparg::PalettePoint>(points);
    std::string warning;
    const std::array<std::int32_t, 256> screen =
        maparg::level_colours(maparg::colour_table(palette, warning));
    ASSERT_EQ(warning, "");
    testing::internal::CaptureStderr();
    const QImage image = drawn(png, x, y, z, {.palette = palette});
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "");
    ASSERT_FALSE(image.isNull());
    const std::vector<QRgb> colours = cell_colours(png, image);
    ASSERT_EQ(colours.size(), z.size());
    for (std::size_t k = 0; k < z.size(); ++k) {
      const std::int32_t want = screen[static_cast<std::size_t>(z[k])];
      const int r = want & 0xFF, g = want >> 8 & 0xFF, b = want >> 16 & 0xFF;
      EXPECT_LE(std::abs(qRed(colours[k]) - r), 2) << "cell " << k << std::hex << " " << colours[k] << " " << want;
      EXPECT_LE(std::abs(qGreen(colours[k]) - g), 2) << "cell " << k << std::hex << " " << colours[k] << " " << want;
      EXPECT_LE(std::abs(qBlue(colours[k]) - b), 2) << "cell " << k << std::hex << " " << colours[k] << " " << want;
    }
  }
}

// The wedge of every range the options take has its numbers: ranges far too
// short or too long for giza's window are drawn in units of a power of ten,
// with no message from giza. The ink right of the wedge's frame (the columns
// beyond the last one mostly inked between the map's top and bottom) is that
// of the numbers: as much as a wedge of 0 .. 1 has there, give or take.
TEST_F(PsMapCells, WedgesOfExtremeRangesHaveNumbers) {
  const Device png{"png", false};
  const auto number_ink = [&](double zmin, double zmax) {
    testing::internal::CaptureStderr();
    const QImage image = drawn(png, {1, 2, 3}, {1, 2}, {0, 1, 2, 3, 4, 5},
                               {.zmin = zmin, .zmax = zmax});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << zmin << " .. " << zmax;
    if (image.isNull()) return 0.0;
    const Placement& p = placement();
    const PixelPlacement at = pixel_placement(png, image);
    const int right = static_cast<int>(std::ceil(at.column(p.win[1]))) + 4;
    const int top = static_cast<int>(std::ceil(at.row(p.win[3])));
    const int bottom = static_cast<int>(std::floor(at.row(p.win[2])));
    int wedge_end = right;
    for (int c = right; c < image.width(); ++c) {
      int inked = 0;
      for (int r = top; r <= bottom; ++r) inked += qGray(image.pixel(c, r)) < 128;
      if (2 * inked > bottom - top) wedge_end = c;
    }
    double ink = 0;
    for (int r = top; r <= bottom; ++r)
      for (int c = wedge_end + 2; c < image.width(); ++c) ink += 255 - qGray(image.pixel(c, r));
    return ink;
  };
  const double plain = number_ink(0, 1);
  ASSERT_GT(plain, 0);
  const struct {
    double zmin, zmax;
  } ranges[] = {{0, 1e-40}, {-3e38, 3e38}, {-2e38, 2e38}, {1e-38, 3e-38}, {0, 9e-32}, {-1e-35, 0}};
  for (const auto& r : ranges) {
    const double ink = number_ink(r.zmin, r.zmax);
    EXPECT_GT(ink, 0.3 * plain) << r.zmin << " .. " << r.zmax;
    EXPECT_LT(ink, 3 * plain) << r.zmin << " .. " << r.zmax;
  }
}

// aspect "auto": a map 4.5 times as wide as high fills the viewport, half
// of it black, where equal scales fit it into a band. pixels: the PNG
// picture's size.
TEST_F(PsMapCells, AspectAutoFillsTheViewportAndPixelsSizeThePicture) {
  std::vector<float> x(10), y{0, 0.5f}, z(20);
  for (int i = 0; i < 10; ++i) {
    x[i] = 0.25f * static_cast<float>(i);
    z[i] = z[i + 10] = static_cast<float>(i % 2);
  }
  const auto black = [](const QImage& image) {
    double n = 0;
    for (int r = 0; r < image.height(); ++r)
      for (int c = 0; c < image.width(); ++c) n += qGray(image.pixel(c, r)) < 64;
    return n;
  };
  for (const char* type : {"ps", "pdf", "png", "svg"}) {
    SCOPED_TRACE(type);
    const Device d{type, false};
    const double su = pixels_per_unit(d);
    const double viewport = (0.83 - 0.12) * 800 * su * (0.88 - 0.12) * 600 * su;
    const double filled = black(drawn(d, x, y, z, {.aspect = "auto"}));
    EXPECT_NEAR(filled / (0.5 * viewport), 1, 0.1);
    EXPECT_LT(black(drawn(d, x, y, z)), filled / 3);
  }
  const QImage sized = drawn({"png", false}, x, y, z, {.pixels = std::array<std::int64_t, 2>{1000, 400}});
  EXPECT_EQ(sized.width(), 1000);
  EXPECT_EQ(sized.height(), 400);
}

// A value that is not a number is black with a table whose ends are not, on
// every device, as on the screen map.
TEST_F(PsMapCells, ValuesThatAreNotNumbersAreBlackWithAnyTable) {
  const maparg::PalettePoint points[] = {{0, 1, 0, 0}, {0.5f, 0, 1, 0}, {1, 0, 0, 1}};
  for (const Device& d : kDevices) {
    SCOPED_TRACE(d.type);
    const QImage image = drawn(d, {1, 2, 3}, {1, 2}, {0, NAN, 2, 3, 4, 5}, {.palette = points});
    ASSERT_FALSE(image.isNull());
    const std::vector<QRgb> colours = cell_colours(d, image);
    ASSERT_EQ(colours.size(), 6u);
    EXPECT_EQ(colours[1], qRgb(0, 0, 0)) << std::hex << colours[1];
    EXPECT_EQ(colours[0], qRgb(255, 0, 0)) << std::hex << colours[0];
    EXPECT_EQ(colours[5], qRgb(0, 0, 255)) << std::hex << colours[5];
  }
}

// The colours asked for the cells the table does not give, on every device:
// a value that is not a number in nan_colour, values beyond the caller's
// range in under and over, each of these two also as a triangle beyond the
// wedge's end (right of the map, below and above it); the other cells keep
// the table's colours, and without a range of the caller's under and over
// colour no cell and draw no triangle.
TEST_F(PsMapCells, NanUnderAndOverCellsTakeTheColoursAsked) {
  const maparg::PalettePoint points[] = {{0, 1, 0, 0}, {0.5f, 0, 1, 0}, {1, 0, 0, 1}};
  const maparg::Colour teal{0.2, 0.6, 0.8}, orange{0.8, 0.4, 0}, navy{0, 0.2, 0.4};
  const QRgb nan_q = qRgb(51, 153, 204), under_q = qRgb(204, 102, 0), over_q = qRgb(0, 51, 102);
  const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
  const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255);
  const auto near = [](QRgb c, QRgb want) {
    return std::abs(qRed(c) - qRed(want)) <= 3 && std::abs(qGreen(c) - qGreen(want)) <= 3 &&
           std::abs(qBlue(c) - qBlue(want)) <= 3;
  };
  const struct {
    PsMapOptions o;
    QRgb cells[4];  // of the values 0, NaN, 4 and 5
    bool triangles;
  } cases[] = {
      {{.nan_colour = teal}, {black, nan_q, qRgb(204, 204, 204), white}, false},
      {{.palette = points, .zmin = 1, .zmax = 4, .nan_colour = teal, .under = orange,
        .over = navy},
       {under_q, nan_q, blue, over_q},
       true},
      {{.palette = points, .under = orange, .over = navy}, {red, black, qRgb(0, 102, 153), blue},
       false},
  };
  const std::vector<float> z{0, NAN, 2, 3, 4, 5};
  for (const Device& d : kDevices) {
    SCOPED_TRACE(d.type);
    for (const auto& c : cases) {
      SCOPED_TRACE(c.triangles);
      const QImage image = drawn(d, {1, 2, 3}, {1, 2}, z, c.o);
      ASSERT_FALSE(image.isNull());
      const std::vector<QRgb> colours = cell_colours(d, image);
      ASSERT_EQ(colours.size(), 6u);
      const QRgb got[4] = {colours[0], colours[1], colours[4], colours[5]};
      for (int k = 0; k < 4; ++k)
        EXPECT_TRUE(near(got[k], c.cells[k])) << "cell " << k << std::hex << " " << got[k];
      // Pixels of under's colour below the map and of over's above it, right of the map.
      const Placement& p = placement();
      const PixelPlacement at = pixel_placement(d, image);
      const int right = static_cast<int>(std::ceil(at.column(p.win[1]))) + 2;
      const int top = static_cast<int>(std::floor(at.row(p.win[3]))) - 1;
      const int bottom = static_cast<int>(std::ceil(at.row(p.win[2]))) + 1;
      int below = 0, above = 0;
      for (int r = 0; r < image.height(); ++r)
        for (int col = right; col < image.width(); ++col) {
          below += r > bottom && near(image.pixel(col, r), under_q);
          above += r < top && near(image.pixel(col, r), over_q);
        }
      if (c.triangles) {
        EXPECT_GT(below, 100);
        EXPECT_GT(above, 100);
        EXPECT_NEAR(below, above, 0.2 * above);  // triangles of one size
      } else {
        EXPECT_EQ(below, 0);
        EXPECT_EQ(above, 0);
      }
    }
  }
  // Cells beyond the range in many rows and columns: on the PNG every pixel
  // between the frame's tick bands is over's colour, no seam between rows.
  const Device png{"png", false};
  std::vector<float> xs(9), ys(7), beyond(63, 9);
  for (int i = 0; i < 9; ++i) xs[i] = 0.37f * static_cast<float>(i);
  for (int j = 0; j < 7; ++j) ys[j] = 0.29f * static_cast<float>(j);
  beyond[0] = 0;
  const QImage image = drawn(png, xs, ys, beyond, {.zmin = 0, .zmax = 1, .over = navy});
  const Placement& p = placement();
  const PixelPlacement at = pixel_placement(png, image);
  int seam = 0, covered = 0;
  for (int r = static_cast<int>(at.row(p.win[3])) + 10; r < at.row(ys[1]) - 10; ++r)
    for (int col = static_cast<int>(at.column(xs[1])) + 10; col < at.column(p.win[1]) - 10; ++col) {
      ++covered;
      seam += image.pixel(col, r) != over_q;
    }
  EXPECT_GT(covered, 10000);
  EXPECT_EQ(seam, 0);
}

}  // namespace
}  // namespace mapps

namespace mapps {
namespace {

// The field z = x^2 + y^2 on 41 x 41 points over -1 .. 1, with a NaN at
// (0.5, 0) when asked.
struct Field {
  std::vector<float> x, y, z;
};
Field circle_field(bool nan_on_circle) {
  Field f;
  for (int i = 0; i <= 40; ++i) f.x.push_back(-1.0f + 0.05f * static_cast<float>(i));
  f.y = f.x;
  for (const float b : f.y)
    for (const float a : f.x) f.z.push_back(a * a + b * b);
  if (nan_on_circle) f.z[20 * 41 + 30] = NAN;
  return f;
}

// Where red pixels (their red above both other channels by a third, as
// smoothed edges of red over grey leave them) lie in the map drawn last, in
// world coordinates.
std::vector<std::array<double, 2>> red_places(const Device& d, const QImage& image) {
  const PixelPlacement at = pixel_placement(d, image);
  std::vector<std::array<double, 2>> places;
  for (int r = 0; r < image.height(); ++r)
    for (int c = 0; c < image.width(); ++c) {
      const QRgb p = image.pixel(c, r);
      if (qRed(p) - std::max(qGreen(p), qBlue(p)) > 85)
        places.push_back({(c + 0.5 - at.cx) / at.scale, (at.rows - r - 0.5 - at.cy) / at.scale});
    }
  return places;
}

// The circle of z = x^2 + y^2 at level 0.25, radius 0.5, on every device:
// every pixel of the contour colour lies on it (within the line's width, or
// the numbers' height when they are drawn), all around it, except where a
// NaN opens the line; asked as a list of levels or as a count inside the
// caller's range; the numbers add pixels off the line.
TEST_F(PsMapCells, ContoursOfAKnownFieldDrawItsCircle) {
  const maparg::Colour red{1, 0, 0};
  const double one[] = {0.26};
  const struct {
    PsMapOptions o;
    bool nan, labels;
  } cases[] = {
      {{.contours = std::span<const double>(one), .contour_colour = red}, false, false},
      {{.zmin = 0, .zmax = 0.52, .contours = 1, .contour_colour = red}, false, false},
      {{.contours = std::span<const double>(one), .contour_colour = red}, true, false},
      {{.contours = std::span<const double>(one), .contour_colour = red, .contour_labels = -1},
       false, true},
  };
  for (const Device& d : kDevices) {
    SCOPED_TRACE(d.type);
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << "nan " << c.nan << " labels " << c.labels);
      const Field f = circle_field(c.nan);
      const QImage image = drawn(d, f.x, f.y, f.z, c.o);
      ASSERT_FALSE(image.isNull());
      const auto places = red_places(d, image);
      // The line's width, and the chords across the squares inside the circle.
      const double width = 3.0 / placement_scale(d, image) + 0.01;
      int off = 0, near_nan = 0;
      std::array<int, 24> around{};
      for (const auto& [px, py] : places) {
        const double r = std::hypot(px, py);
        if (std::fabs(r - std::sqrt(0.26)) > width) {
          ++off;
          continue;
        }
        around[static_cast<std::size_t>((std::atan2(py, px) + M_PI) / (2 * M_PI) * 24) % 24]++;
        near_nan += std::hypot(px - 0.5, py) < 0.04;
      }
      if (c.labels) EXPECT_GT(off, 30);
      else EXPECT_EQ(off, 0);
      if (c.nan) { EXPECT_EQ(near_nan, 0); }
      for (std::size_t b = 0; b < around.size(); ++b)
        if (!c.nan || (b != 11 && b != 12)) { EXPECT_GT(around[b], 2) << "angle bin " << b; }
    }
  }
}

}  // namespace
}  // namespace mapps

namespace mapps {
namespace {

// A 2 x 2 page on every device: four whole maps, one a panel from the top
// left along the rows, each with its wedge: in each quarter of the picture
// a map's black and white cells and, right of them, a wedge running from
// black to white; the file written when the page closes, not before.
TEST_F(PsMapCells, APageOfFourPanelsHoldsFourMapsEachWithItsWedge) {
  const std::vector<float> x{1, 2, 3}, y{1, 2}, z{0, 1, 2, 3, 4, 5};
  for (const Device& d : kDevices) {
    SCOPED_TRACE(d.type);
    std::string file;
    {
      const std::string name = std::string("page_") + d.type;
      Page page(name, d.type, {2, 2});
      ASSERT_TRUE(page.is_open());
      for (int k = 0; k < 4; ++k) {
        const PsMapResult r = ps_map(x, y, z, {.title = "panel", .page = &page});
        EXPECT_EQ(r.outcome, PsMapResult::Outcome::kOnPage);
      }
      EXPECT_EQ(ps_map(x, y, z, {.page = &page}).outcome, PsMapResult::Outcome::kRefused);
      EXPECT_EQ(access(name.c_str(), F_OK), -1);
      const PsMapResult closed = page.close();
      ASSERT_TRUE(closed.written());
      file = closed.file;
    }
    const QImage image = rendered(d, file);
    ASSERT_FALSE(image.isNull());
    const int w = image.width() / 2, h = image.height() / 2;
    for (int q = 0; q < 4; ++q) {
      SCOPED_TRACE(q);
      const int left = (q % 2) * w, top = (q / 2) * h;
      // The wedge: the column in the quarter's right part with the most
      // distinct greys, running from black at the bottom to white at the top.
      int best = 0, best_col = -1;
      for (int c = left + w / 2; c < left + w; ++c) {
        std::vector<int> greys;
        for (int r = top; r < top + h; ++r) {
          const QRgb p = image.pixel(c, r);
          if (qRed(p) == qGreen(p) && qGreen(p) == qBlue(p)) greys.push_back(qGray(p));
        }
        std::sort(greys.begin(), greys.end());
        const int distinct = static_cast<int>(std::unique(greys.begin(), greys.end()) - greys.begin());
        if (distinct > best) best = distinct, best_col = c;
      }
      EXPECT_GT(best, 40) << "no wedge in quarter " << q;
      // The map's lowest (black) and highest (white) cells left of the wedge.
      int black = 0, white = 0;
      for (int r = top; r < top + h; ++r)
        for (int c = left; c < best_col - 10; ++c) {
          const QRgb p = image.pixel(c, r);
          black += p == qRgb(0, 0, 0);
          white += p == qRgb(255, 255, 255);
        }
      EXPECT_GT(black, 100);
    }
  }
}

}  // namespace
}  // namespace mapps

namespace mapps {
namespace {

// giza draws on one device at a time: a map of another thread waits while a
// page is open and is drawn once it closes; both files are whole.
TEST_F(PsMapCells, AnotherThreadsMapWaitsUntilThePageCloses) {
  const std::vector<float> x{1, 2, 3}, y{1, 2}, z{0, 1, 2, 3, 4, 5};
  Page page("held", "png", {1, 1});
  ASSERT_TRUE(page.is_open());
  std::atomic<bool> done{false};
  std::thread other([&] {
    ps_map(x, y, z, {.file = "other", .device = "png"});
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(done);
  EXPECT_EQ(ps_map(x, y, z, {.page = &page}).outcome, PsMapResult::Outcome::kOnPage);
  EXPECT_TRUE(page.close().written());
  other.join();
  EXPECT_TRUE(done);
  EXPECT_FALSE(QImage("held").isNull());
  EXPECT_FALSE(QImage("other").isNull());
}

}  // namespace
}  // namespace mapps
