#include "maparg/contour.h"

#include <algorithm>
#include <cstring>
#include <cstdint>

#include "maparg/request.h"
#include "rtl/checked_math.h"

namespace maparg {

std::vector<double> contour_levels(const OptContours& asked, bool log, double lo, double hi) {
  std::vector<double> levels;
  if (!asked) return levels;
  if (const std::int64_t* count = std::get_if<std::int64_t>(&*asked)) {
    if (*count < 1 || *count > kMostContourLevels || !usable_range(lo, hi)) {
      console_line(kContoursWarning);
      return levels;
    }
    const auto n = static_cast<double>(*count);
    for (std::int64_t k = 1; k <= *count; ++k)
      levels.push_back(lo + (hi - lo) * (static_cast<double>(k) / (n + 1)));
    return levels;
  }
  const std::span<const double> given = std::get<std::span<const double>>(*asked);
  bool usable = !given.empty() && given.size() <= static_cast<std::size_t>(kMostContourLevels);
  for (const double c : given) usable = usable && std::isfinite(c);
  if (!usable) {
    console_line(kContoursWarning);
    return levels;
  }
  for (const double c : given) levels.push_back(log ? rtl::checked_log10(c) : c);
  std::sort(levels.begin(), levels.end());
  levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
  return levels;
}

namespace {

// The segments meeting at each end point: an open-addressing table of the
// points (their bits), each with the first two ends there (end 2s: the start
// of segment s, 2s + 1 its end); a third end at a point (a level through a
// grid point) is kept in a list of its own.
class EndTable {
 public:
  explicit EndTable(std::size_t ends) {
    std::size_t capacity = 16;
    while (capacity < 2 * ends) capacity *= 2;
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
  }
  void add(double x, double y, std::size_t end) {
    Slot& s = find(x, y);
    if (s.first == kNone) {
      s.x = x, s.y = y, s.first = end;
    } else if (s.second == kNone) {
      s.second = end;
    } else {
      more_.push_back({x, y, end, kNone});
    }
  }
  // An end at (x, y) whose segment is not used; kNone when there is none.
  template <class Used>
  std::size_t unused_at(double x, double y, Used used) const {
    const Slot& s = const_cast<EndTable*>(this)->find(x, y);
    if (s.first != kNone && !used(s.first / 2)) return s.first;
    if (s.second != kNone && !used(s.second / 2)) return s.second;
    for (const Slot& m : more_)
      if (m.x == x && m.y == y && !used(m.first / 2)) return m.first;
    return kNone;
  }
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

 private:
  struct Slot {
    double x = 0, y = 0;
    std::size_t first = kNone, second = kNone;
  };
  Slot& find(double x, double y) {
    std::uint64_t bx, by;
    std::memcpy(&bx, &x, sizeof bx);
    std::memcpy(&by, &y, sizeof by);
    std::size_t k = static_cast<std::size_t>((bx * 0x9E3779B97F4A7C15ull) ^ (by * 0xC2B2AE3D27D4EB4Full) ^
                                             (bx >> 29)) & mask_;
    while (slots_[k].first != kNone && !(slots_[k].x == x && slots_[k].y == y)) k = (k + 1) & mask_;
    return slots_[k];
  }
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::vector<Slot> more_;
};

// The lines of one level's segments.
std::vector<ContourLine> lines_of(const std::vector<ContourSegment>& segments) {
  const std::size_t n = segments.size();
  EndTable at(2 * n);
  for (std::size_t s = 0; s < n; ++s) {
    at.add(segments[s].i0, segments[s].j0, 2 * s);
    at.add(segments[s].i1, segments[s].j1, 2 * s + 1);
  }
  std::vector<bool> used(n, false);
  const auto is_used = [&](std::size_t s) { return static_cast<bool>(used[s]); };
  const auto point = [&](std::size_t e) {
    const ContourSegment& g = segments[e / 2];
    return e % 2 == 0 ? std::array<double, 2>{g.i0, g.j0} : std::array<double, 2>{g.i1, g.j1};
  };
  // Extends `line` from its last point along unused segments.
  const auto extend = [&](ContourLine& line) {
    for (;;) {
      const std::size_t end = at.unused_at(line.back()[0], line.back()[1], is_used);
      if (end == EndTable::kNone) return;
      used[end / 2] = true;
      line.push_back(point(end ^ 1));
    }
  };
  std::vector<ContourLine> lines;
  for (std::size_t s = 0; s < n; ++s) {
    if (used[s]) continue;
    used[s] = true;
    ContourLine forward{point(2 * s), point(2 * s + 1)};
    extend(forward);
    // Then backwards from the first point, for a line that does not close.
    ContourLine backward{forward.front()};
    extend(backward);
    if (backward.size() > 1) {
      ContourLine whole(backward.rbegin(), backward.rend() - 1);
      whole.insert(whole.end(), forward.begin(), forward.end());
      forward = std::move(whole);
    }
    lines.push_back(std::move(forward));
  }
  return lines;
}

// The line through fewer of its points, each left out within `tx`, `ty` of
// the line drawn (in grid positions along each axis; Douglas-Peucker).
ContourLine simplified(const ContourLine& line, double tx, double ty) {
  if (line.size() < 3) return line;
  std::vector<bool> keep(line.size(), false);
  keep.front() = keep.back() = true;
  std::vector<std::array<std::size_t, 2>> todo{{0, line.size() - 1}};
  while (!todo.empty()) {
    const auto [a, b] = todo.back();
    todo.pop_back();
    if (b <= a + 1) continue;
    // In units of the tolerance along each axis.
    const double ax = line[a][0] / tx, ay = line[a][1] / ty;
    const double dx = line[b][0] / tx - ax, dy = line[b][1] / ty - ay;
    const double length = std::hypot(dx, dy);
    double farthest = -1;
    std::size_t at = a;
    for (std::size_t k = a + 1; k < b; ++k) {
      const double px = line[k][0] / tx - ax, py = line[k][1] / ty - ay;
      const double d = length > 0 ? std::fabs(px * dy - py * dx) / length : std::hypot(px, py);
      if (d > farthest) farthest = d, at = k;
    }
    if (farthest > 1) {
      keep[at] = true;
      todo.push_back({a, at});
      todo.push_back({at, b});
    }
  }
  ContourLine out;
  for (std::size_t k = 0; k < line.size(); ++k)
    if (keep[k]) out.push_back(line[k]);
  return out;
}

}  // namespace

std::vector<std::vector<ContourLine>> join_segments(
    const std::vector<std::vector<ContourSegment>>& segments, Index nx, Index ny,
    double tolerance) {
  std::vector<std::vector<ContourLine>> lines;
  lines.reserve(segments.size());
  const double tx = tolerance * static_cast<double>(nx - 1);
  const double ty = tolerance * static_cast<double>(ny - 1);
  for (const auto& level : segments) {
    lines.push_back(lines_of(level));
    if (tolerance > 0)
      for (ContourLine& l : lines.back()) l = simplified(l, tx, ty);
  }
  return lines;
}

}  // namespace maparg
