#pragma once
// The fast escape kernel, written once over a set of lane operations.
//
// Included by the per-instruction-set files (escape_fast.cpp, escape_avx2.cpp,
// escape_avx512.cpp), each compiled for its own instruction set. Everything here
// has internal linkage, so no function compiled for a wider instruction set can
// stand in for one of another file. Include nothing from the standard library
// here that defines inline functions.
//
// Points are taken in blocks of Ops::kWidth * kVectors lanes, each lane a
// double-precision value holding a single-precision one. One step of a lane:
//
//   s      = fma(re, re, im * im)        re * re and im * im are exact in double
//                                        (24-bit factors), so this is the rounded
//                                        double sum re * re + im * im
//   active = active and s < kEscapeSquare
//   count  = count + active
//   re'    = round_to_float((re - im) * (re + im) + cre)     no fused step: the
//                                        product of two doubles is not exact
//   im'    = round_to_float(fma(re + re, im, cim))   2 re is exact and 2 re * im
//                                        has at most 48 bits, so this is the
//                                        rounded double 2 * re * im + cim
//
// round_to_float converts to single precision and back, the same rounding as
// storing into a float. The test s < kEscapeSquare is equivalent to
// (float) sqrt(s) < 256 for every double s >= 0 and false for a NaN (see
// kEscapeSquare). A lane whose orbit has escaped stays inactive; its values run
// on unused. The block ends when no lane is active or after limit + 4 tests;
// the escape value is count - 3.

#include <cstddef>

namespace driver::fast_kernel {
namespace {

// The smallest double s with (float) sqrt(s) >= 256. Rounding to single
// precision gives 256 from sqrt(s) >= 256 - 2^-17 on (the midpoint below 256
// rounds to 256, whose significand is even); the double square root reaches
// 256 - 2^-17 from s >= (256 - 2^-17 - 2^-46)^2 on (an exact square root is
// never a midpoint of two doubles); and this is the first double not below that
// square. Both roundings are monotonic, so checking the two doubles at the edge
// proves the equivalence for all s (escape_test.cpp does).
constexpr double kEscapeSquare = 0x1.fffffe0000008p+15;

// Lanes per block: enough independent orbits to hide the latency of one step.
constexpr int kVectors = 4;

template <class Ops>
void run_block(const float* cre, const float* cim, long long tests, long long* counts) {
  using D = typename Ops::D;
  using M = typename Ops::M;
  using C = typename Ops::C;
  constexpr int W = Ops::kWidth;
  const D escape_square = Ops::broadcast(kEscapeSquare);
  const D two = Ops::broadcast(2.0);
  D cr[kVectors], ci[kVectors], re[kVectors], im[kVectors];
  M active[kVectors];
  C count[kVectors];
  for (int v = 0; v < kVectors; ++v) {
    cr[v] = Ops::load_floats(cre + v * W);
    ci[v] = Ops::load_floats(cim + v * W);
    re[v] = Ops::broadcast(0.0);
    im[v] = Ops::broadcast(0.0);
    active[v] = Ops::all_lanes();
    count[v] = Ops::zero_count();
  }
  for (long long t = 0; t < tests; ++t) {
    M any = Ops::no_lanes();
    for (int v = 0; v < kVectors; ++v) {
      const D s = Ops::fma(re[v], re[v], Ops::mul(im[v], im[v]));
      active[v] = Ops::and_less(active[v], s, escape_square);
      count[v] = Ops::count_lanes(count[v], active[v]);
      any = Ops::or_mask(any, active[v]);
    }
    if (Ops::none(any)) break;
    for (int v = 0; v < kVectors; ++v) {
      const D diff = Ops::sub(re[v], im[v]);
      const D sum = Ops::add(re[v], im[v]);
      const D next_re = Ops::add(Ops::mul(diff, sum), cr[v]);
      const D next_im = Ops::fma(Ops::mul(re[v], two), im[v], ci[v]);
      re[v] = Ops::round_to_float(next_re);
      im[v] = Ops::round_to_float(next_im);
    }
  }
  for (int v = 0; v < kVectors; ++v) Ops::store_counts(counts + v * W, count[v]);
}

// A lane that leaves on its second test: fills the lanes of a short last block.
constexpr float kIdleLane = 512.0f;

// Escape values of n points; each call `next(cre, cim)` gives the next point and
// returns the place of its value in z.
template <class Ops, class PointSource>
void run_points(PointSource next, std::ptrdiff_t n, int limit, float* z) {
  constexpr int L = Ops::kWidth * kVectors;
  // n = -2 .. limit + 1; none at all when limit + 4 <= 0, and z keeps its start value 0.
  const long long tests = limit < -4 ? 0 : static_cast<long long>(limit) + 4;
  alignas(64) float cre[L];
  alignas(64) float cim[L];
  alignas(64) long long counts[L];
  std::ptrdiff_t place[L];
  for (std::ptrdiff_t first = 0; first < n; first += L) {
    const int lanes = n - first < L ? static_cast<int>(n - first) : L;
    for (int q = 0; q < L; ++q) {
      if (q < lanes) {
        place[q] = next(cre[q], cim[q]);
      } else {
        cre[q] = kIdleLane;
        cim[q] = 0.0f;
      }
    }
    run_block<Ops>(cre, cim, tests, counts);
    for (int q = 0; q < lanes; ++q)
      z[place[q]] = tests == 0 ? 0.0f : static_cast<float>(counts[q] - 3);
  }
}

// The points of a list, in order.
struct PointList {
  const float* cre;
  const float* cim;
  std::ptrdiff_t q = 0;
  std::ptrdiff_t operator()(float& re, float& im) {
    re = cre[q];
    im = cim[q];
    return q++;
  }
};

// The points of a grid, z(i, j) at j * nx + i, in strips of kStripRows rows
// (fewer in the last), column after column within a strip: a block of lanes
// then covers a compact patch of the plane, whose orbits tend to end together,
// rather than a long piece of one row.
constexpr std::ptrdiff_t kStripRows = 4;

struct GridStrips {
  const float* x;
  std::ptrdiff_t nx;
  const float* y;
  std::ptrdiff_t ny;
  std::ptrdiff_t strip = 0;  // first row of the current strip
  std::ptrdiff_t i = 0;      // column within it
  std::ptrdiff_t row = 0;    // row within it
  std::ptrdiff_t operator()(float& re, float& im) {
    const std::ptrdiff_t rows = ny - strip < kStripRows ? ny - strip : kStripRows;
    const std::ptrdiff_t j = strip + row;
    re = x[i];
    im = y[j];
    const std::ptrdiff_t place = j * nx + i;
    if (++row == rows) {
      row = 0;
      if (++i == nx) {
        i = 0;
        strip += rows;
      }
    }
    return place;
  }
};

template <class Ops>
void escape_points(const float* cre, const float* cim, std::ptrdiff_t n, int limit, float* z) {
  run_points<Ops>(PointList{cre, cim}, n, limit, z);
}

template <class Ops>
void escape_grid(const float* x, std::ptrdiff_t nx, const float* y, std::ptrdiff_t ny,
                 int limit, float* z) {
  if (nx <= 0 || ny <= 0) return;
  run_points<Ops>(GridStrips{x, nx, y, ny}, nx * ny, limit, z);
}

}  // namespace
}  // namespace driver::fast_kernel
