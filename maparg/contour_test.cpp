// The marching squares against the lines giza's contouring draws for the
// same values (read from its SVG output: a peak, and saddles whose centres
// fall on either side of the level), and the levels a call asks for.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "maparg/contour.h"
#include "rtl/hooks.h"

namespace maparg {
namespace {

using Segments = std::vector<ContourSegment>;

// Each segment of `want` in `got`, either way round, and as many.
void expect_same_segments(const Segments& got, const Segments& want) {
  ASSERT_EQ(got.size(), want.size());
  const auto near = [](double a, double b) { return std::fabs(a - b) < 1e-3; };
  for (const ContourSegment& w : want) {
    const bool found = std::any_of(got.begin(), got.end(), [&](const ContourSegment& g) {
      return (near(g.i0, w.i0) && near(g.j0, w.j0) && near(g.i1, w.i1) && near(g.j1, w.j1)) ||
             (near(g.i0, w.i1) && near(g.j0, w.j1) && near(g.i1, w.i0) && near(g.j1, w.j0));
    });
    EXPECT_TRUE(found) << w.i0 << " " << w.j0 << " - " << w.i1 << " " << w.j1;
  }
}

TEST(Contours, SquaresGiveGizasLines) {
  const struct {
    std::vector<double> z;  // 3 x 3, x fastest
    Segments want;
    std::size_t lines;  // joined
  } cases[] = {
      {{0, 0, 0, 0, 1, 0, 0, 0, 0},
       {{0.6667, 1.3333, 0.5, 1}, {1, 1.5, 0.6667, 1.3333}, {1.5, 1, 1.3333, 1.3333},
        {1.3333, 1.3333, 1, 1.5}, {0.6667, 0.6667, 1, 0.5}, {0.5, 1, 0.6667, 0.6667},
        {1.3333, 0.6667, 1.5, 1}, {1, 0.5, 1.3333, 0.6667}},
       1},
      {{0, 1, 0, 1, 0.2, 1, 0, 1, 0},
       {{0.5714, 1.4286, 0.625, 1}, {1, 1.375, 0.5714, 1.4286}, {0.4545, 1.5455, 0.5, 2},
        {0, 1.5, 0.4545, 1.5455}, {1.375, 1, 1.4286, 1.4286}, {1.5455, 1.5455, 2, 1.5},
        {1.5, 2, 1.5455, 1.5455}, {1.4286, 1.4286, 1, 1.375}, {0.5, 0, 0.4545, 0.4545},
        {0.5714, 0.5714, 1, 0.625}, {0.625, 1, 0.5714, 0.5714}, {0.4545, 0.4545, 0, 0.5},
        {1.5455, 0.4545, 1.5, 0}, {2, 0.5, 1.5455, 0.4545}, {1.4286, 0.5714, 1.375, 1},
        {1, 0.625, 1.4286, 0.5714}},
       5},  // an arc about each peak, a ring about the low centre
      {{0, 1, 0, 1, 0.8, 1, 0, 1, 0},
       {{0.3571, 1.6429, 0.5, 2}, {0, 1.5, 0.3571, 1.6429}, {1.6429, 1.6429, 2, 1.5},
        {1.5, 2, 1.6429, 1.6429}, {0.5, 0, 0.3571, 0.3571}, {0.3571, 0.3571, 0, 0.5},
        {1.6429, 0.3571, 1.5, 0}, {2, 0.5, 1.6429, 0.3571}},
       4},
      // A NaN corner: the squares around it draw nothing.
      {{0, 0, 0, 0, 1, 0, 0, 0, NAN},
       {{0.6667, 1.3333, 0.5, 1}, {1, 1.5, 0.6667, 1.3333}, {0.6667, 0.6667, 1, 0.5},
        {0.5, 1, 0.6667, 0.6667}, {1.3333, 0.6667, 1.5, 1}, {1, 0.5, 1.3333, 0.6667}},
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    std::vector<Segments> got(2);
    const double levels[] = {0.5, 7};  // the second crosses no square
    contour_squares(
        3, 3, levels, [&](Index i, Index j) { return c.z[static_cast<std::size_t>(j * 3 + i)]; },
        [&](std::size_t n, const ContourSegment& s) { got[n].push_back(s); });
    expect_same_segments(got[0], c.want);
    EXPECT_TRUE(got[1].empty());
    // Joined where they meet: as many lines as asked, each of its segments'
    // points, the peak's closed.
    const auto lines = join_segments(got);
    ASSERT_EQ(lines[0].size(), c.lines);
    std::size_t points = 0;
    for (const ContourLine& l : lines[0]) points += l.size() - 1;
    EXPECT_EQ(points, c.want.size());
    if (&c == cases) { EXPECT_EQ(lines[0][0].front(), lines[0][0].back()); }
    if (&c == cases + 3) { EXPECT_NE(lines[0][0].front(), lines[0][0].back()); }  // opened by the NaN
  }
}

TEST(Contours, LevelsOfACountOrAList) {
  std::vector<std::string> lines;
  rtl::change_hooks([&](rtl::Hooks& h) {
    h.console_listener = [&](std::string_view line) { lines.emplace_back(line); };
  });
  const double list[] = {1, 10, 100}, bad[] = {1, NAN}, unsorted[] = {3, 1, 2, 3};
  const std::vector<double> too_many(1001, 1.0);
  const struct {
    OptContours asked;
    bool log;
    double lo, hi;
    std::vector<double> want;
    bool warned;
  } cases[] = {
      {std::nullopt, false, 0, 1, {}, false},
      {std::int64_t{3}, false, 0, 2, {0.5, 1, 1.5}, false},
      {std::int64_t{1}, true, -1, 1, {0}, false},  // the map's own range, already log10
      {std::span<const double>(list), false, 0, 1, {1, 10, 100}, false},
      {std::span<const double>(list), true, 0, 1, {0, 1, 2}, false},
      {std::span<const double>(unsorted), false, 0, 1, {1, 2, 3}, false},
      {std::int64_t{0}, false, 0, 1, {}, true},
      {std::int64_t{1001}, false, 0, 1, {}, true},
      {std::int64_t{2}, false, 1, 1, {}, true},
      {std::span<const double>(), false, 0, 1, {}, true},
      {std::span<const double>(bad), false, 0, 1, {}, true},
      {std::span<const double>(too_many), false, 0, 1, {}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    lines.clear();
    const std::vector<double> got = contour_levels(c.asked, c.log, c.lo, c.hi);
    ASSERT_EQ(got.size(), c.want.size());
    for (std::size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], c.want[k], 1e-12);
    EXPECT_EQ(lines.size(), c.warned ? 1u : 0u);
    if (c.warned && !lines.empty()) {
      EXPECT_EQ(lines[0], " " + std::string(kContoursWarning));  // a record's blank first
    }
  }
  rtl::change_hooks([](rtl::Hooks& h) { h.console_listener = {}; });
}

}  // namespace
}  // namespace maparg
