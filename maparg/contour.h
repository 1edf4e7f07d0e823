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

#include <algorithm>
#include <array>
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

// The most levels a count or a list may ask for: each level may cross
// every square of the map.
inline constexpr std::int64_t kMostContourLevels = 1000;

inline constexpr std::string_view kContoursWarning =
    " Warning: contours must be a count of 1 .. 1000 or 1 .. 1000 finite levels: none drawn !!!";

// The levels of `asked` as values of the map, whose colours span lo .. hi:
// a count n gives lo + (hi - lo) * k / (n + 1) for k = 1 .. n (the range's
// ends themselves bound no line); a list is taken as it is, under the log
// option its log10 (a level of zero or below is the log option's fatal
// error, as zmin's), in ascending order, each once. A count outside 1 .. kMostContourLevels, a list that is
// empty or longer, or a level that is not finite gives no level and kContoursWarning on the
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

// The segments of the levels (ascending) over the nx x ny grid whose value
// at (i, j) (from 0) is value(i, j), in one pass: square by square, row by
// row from j = 0, the levels that cross a square (above its lowest corner,
// at or below its highest) each in turn, each triangle's segment in turn;
// each handed to out(level's index, segment). A side's crossing is worked out
// the same way in both triangles (or squares) it bounds, so that their
// segments meet exactly (contour_lines joins them).
template <class Value, class Out>
void contour_squares(Index nx, Index ny, std::span<const double> levels, Value value, Out out) {
  if (nx < 2 || ny < 2 || levels.empty()) return;
  // Each point's band: how many levels lie at or below its value (-1 for a
  // NaN). Level L crosses a square when some corner's band is above L and
  // another's is not: the levels from the lowest band to the highest less one.
  const auto rows = [&](Index j, std::vector<double>& v, std::vector<int>& band) {
    for (Index i = 0; i < nx; ++i) {
      const double x = value(i, j);
      v[static_cast<std::size_t>(i)] = x;
      band[static_cast<std::size_t>(i)] =
          std::isnan(x) ? -1
                        : static_cast<int>(std::upper_bound(levels.begin(), levels.end(), x) -
                                           levels.begin());
    }
  };
  const auto n = static_cast<std::size_t>(nx);
  std::vector<double> lower(n), upper(n);
  std::vector<int> lower_band(n), upper_band(n);
  rows(0, upper, upper_band);
  for (Index j = 0; j + 1 < ny; ++j) {
    lower.swap(upper);
    lower_band.swap(upper_band);
    rows(j + 1, upper, upper_band);
    const double fj = static_cast<double>(j);
    for (std::size_t u = 0; u + 1 < n; ++u) {
      const int b0 = lower_band[u], b1 = lower_band[u + 1], b2 = upper_band[u + 1],
                b3 = upper_band[u];
      if (b0 == b1 && b1 == b2 && b2 == b3) continue;  // no level crosses, or all NaN
      const int lo = std::min(std::min(b0, b1), std::min(b2, b3));
      if (lo < 0) continue;  // a NaN corner: the square draws nothing
      const int hi = std::max(std::max(b0, b1), std::max(b2, b3));
      // Corners counter-clockwise from the lower left, then the centre.
      const double v0 = lower[u], v1 = lower[u + 1], v2 = upper[u + 1], v3 = upper[u];
      const double mean = (v0 + v1 + v2 + v3) * 0.25;
      if (std::isnan(mean)) continue;  // infinities of both signs: no place for a crossing
      const double fi = static_cast<double>(u);
      const double px[5] = {fi, fi + 1, fi + 1, fi, fi + 0.5};
      const double py[5] = {fj, fj, fj + 1, fj + 1, fj + 0.5};
      const double w[5] = {v0, v1, v2, v3, mean};
      for (int level_index = lo; level_index < hi; ++level_index) {
        const double level = levels[static_cast<std::size_t>(level_index)];
        // Triangle k: corner k, corner k + 1, the centre (point 4).
        for (int k = 0; k < 4; ++k) {
          const int t[3] = {k, (k + 1) % 4, 4};
          const bool h[3] = {w[t[0]] >= level, w[t[1]] >= level, w[t[2]] >= level};
          if (h[0] == h[1] && h[1] == h[2]) continue;
          double ends[4];
          int e = 0;
          for (int s = 0; s < 3 && e < 4; ++s) {
            if (h[s] == h[(s + 1) % 3]) continue;
            // From the end first in the grid's order (row by row from the
            // lower left, the centre last): the same side, the same point.
            constexpr int kRank[5] = {0, 1, 3, 2, 4};
            int a = t[s], b = t[(s + 1) % 3];
            if (kRank[a] > kRank[b]) std::swap(a, b);
            const double f = crossing_fraction(w[a], w[b], level);
            ends[e++] = px[a] + f * (px[b] - px[a]);
            ends[e++] = py[a] + f * (py[b] - py[a]);
          }
          out(static_cast<std::size_t>(level_index), ContourSegment{ends[0], ends[1], ends[2], ends[3]});
        }
      }
    }
  }
}

// The segments of each level joined into lines where they meet: for each
// level (ascending), its lines, each the points (grid positions from 0) it
// runs through; a closed line ends at its first point. Segments meet where
// their ends are equal, which contour_squares makes them exactly.
// Each line is then drawn through fewer of its points where that moves it
// by no more than `tolerance` of the grid's extent along each axis (nx - 1
// and ny - 1 grid positions; 0: every point kept), its first and last point
// kept (Douglas-Peucker).
using ContourLine = std::vector<std::array<double, 2>>;
std::vector<std::vector<ContourLine>> join_segments(
    const std::vector<std::vector<ContourSegment>>& segments, Index nx = 2, Index ny = 2,
    double tolerance = 0);

}  // namespace maparg
