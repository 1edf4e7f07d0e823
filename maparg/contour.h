#pragma once
// Lines of equal value over a map: the levels a call asks for, and the
// marching squares that find where a level crosses the cells.
//
// The rule, the one giza's contour routines follow: the grid points are the
// values at their coordinates (point (i, j) at x(i), y(j)); each square of
// four neighbouring points is divided into four triangles by its centre,
// whose value is the mean of the four corners, and a level c crosses a
// triangle's side whose ends lie on either side of it (one end at or above
// c, the other below), linearly interpolated between the two ends; the
// line across a triangle joins its two crossings. So a square crossed on all
// four sides (a saddle) joins its corners on the side of its mean. A square
// with a corner that is not a number draws nothing, so a NaN opens the
// lines around it. An infinite corner puts the crossing at the finite end
// of its side (as a value far beyond the other end would).

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "maparg/views.h"

namespace maparg {

// The levels: a count of evenly spaced levels inside the map's range, or
// the levels themselves.
using ContourLevels = std::variant<std::int64_t, std::span<const double>>;
using OptContours = std::optional<ContourLevels>;

// The most levels a count may ask for.
inline constexpr std::int64_t kMostContourLevels = 1000;

inline constexpr std::string_view kContoursWarning =
    " Warning: contours must be a count of 1 .. 1000 or finite levels: none drawn !!!";

// The levels of `asked` as values of the map, whose colours span lo .. hi:
// a count n gives lo + (hi - lo) * k / (n + 1) for k = 1 .. n (the range's
// ends themselves bound no line); a list is taken as it is, under the log
// option its log10 (a level of zero or below is the log option's fatal
// error, as zmin's). A count outside 1 .. kMostContourLevels, an empty list
// or a level that is not finite gives no level and kContoursWarning on the
// console; so does a count over a range that is none (lo not below hi).
std::vector<double> contour_levels(const OptContours& asked, bool log, double lo, double hi);

// A piece of a line across one square: from (i0, j0) to (i1, j1) in grid
// positions from 0, a fraction between two neighbouring points.
struct ContourSegment {
  double i0, j0, i1, j1;
};

// Where a level crosses the side from a value va to a value vb (one at or
// above the level, the other below): the fraction of the way from va.
inline double crossing_fraction(double va, double vb, double level) {
  const bool ia = std::isinf(va), ib = std::isinf(vb);
  if (ia && ib) return 0.5;
  if (ia) return 1.0;
  if (ib) return 0.0;
  const double t = (level - va) / (vb - va);
  return t < 0 ? 0.0 : t > 1 ? 1.0 : t;
}

// The segments of `level` over the nx x ny grid whose value at (i, j) (from
// 0) is value(i, j), square by square, row by row from j = 0, each
// triangle's in turn; each handed to `out`.
template <class Value, class Out>
void contour_squares(Index nx, Index ny, double level, Value value, Out out) {
  if (nx < 2 || ny < 2) return;
  std::vector<double> lower(static_cast<std::size_t>(nx)), upper(static_cast<std::size_t>(nx));
  for (Index i = 0; i < nx; ++i) upper[static_cast<std::size_t>(i)] = value(i, 0);
  for (Index j = 0; j + 1 < ny; ++j) {
    lower.swap(upper);
    for (Index i = 0; i < nx; ++i) upper[static_cast<std::size_t>(i)] = value(i, j + 1);
    const double fj = static_cast<double>(j);
    for (Index i = 0; i + 1 < nx; ++i) {
      const auto u = static_cast<std::size_t>(i);
      // Corners counter-clockwise from the lower left, then the centre.
      const double v[5] = {lower[u], lower[u + 1], upper[u + 1], upper[u], 0.0};
      const int high = (v[0] >= level) + (v[1] >= level) + (v[2] >= level) + (v[3] >= level);
      // All four on one side: so is their mean (a NaN compares low: checked below).
      if (high == 0 || high == 4) continue;
      if (std::isnan(v[0]) || std::isnan(v[1]) || std::isnan(v[2]) || std::isnan(v[3])) continue;
      const double mean = (v[0] + v[1] + v[2] + v[3]) * 0.25;
      if (std::isnan(mean)) continue;  // infinities of both signs: no place for a crossing
      const double fi = static_cast<double>(i);
      const double px[5] = {fi, fi + 1, fi + 1, fi, fi + 0.5};
      const double py[5] = {fj, fj, fj + 1, fj + 1, fj + 0.5};
      const double w[5] = {v[0], v[1], v[2], v[3], mean};
      // Triangle k: corner k, corner k + 1, the centre (point 4).
      for (int k = 0; k < 4; ++k) {
        const int t[3] = {k, (k + 1) % 4, 4};
        const bool h[3] = {w[t[0]] >= level, w[t[1]] >= level, w[t[2]] >= level};
        if (h[0] == h[1] && h[1] == h[2]) continue;
        double ends[4];
        int n = 0;
        for (int s = 0; s < 3 && n < 4; ++s) {
          const int a = t[s], b = t[(s + 1) % 3];
          if (h[s] == h[(s + 1) % 3]) continue;
          const double f = crossing_fraction(w[a], w[b], level);
          ends[n++] = px[a] + f * (px[b] - px[a]);
          ends[n++] = py[a] + f * (py[b] - py[a]);
        }
        out(ContourSegment{ends[0], ends[1], ends[2], ends[3]});
      }
    }
  }
}

}  // namespace maparg
