#pragma once
// The fast escape kernel, written once over a set of lane operations.
//
// Included by the per-instruction-set files (escape_fast.cpp, escape_avx2.cpp,
// escape_avx512.cpp), each compiled for its own instruction set. Everything here
// has internal linkage, so no function compiled for a wider instruction set can
// stand in for one of another file. Include nothing from the standard library
// here that defines inline functions.
//
// Each lane is a double-precision value holding a single-precision one. One step
// of a lane:
//
//   s      = fma(re, re, im * im)        re * re and im * im are exact in double
//                                        (24-bit factors), so this is the rounded
//                                        double sum re * re + im * im
//   active = s < kEscapeSquare
//   count  = count + active
//   re'    = round_to_float((re - im) * (re + im) + cre)     no fused step: the
//                                        product of two doubles is not exact
//   im'    = round_to_float(fma(re + re, im, cim))   2 re is exact and 2 re * im
//                                        has at most 48 bits, so this is the
//                                        rounded double 2 * re * im + cim
//
// round_to_float gives the same value as storing into a float (see Rounding).
// The test s < kEscapeSquare is equivalent to (float) sqrt(s) < 256 for every
// double s >= 0 and false for a NaN (see kEscapeSquare). The escape value is
// count - 3, count taken over the first limit + 4 tests.
//
// A lane that has left stays out, so its later tests need no mask: it fails
// them all. A lane fails a test when its s is not a number or at least
// kEscapeSquare, so |w| >= 256 - 2^-16. If re or im is infinite or not a number,
// so is re' (re - im or re + im is, and so their product), and the lane fails
// every later test. Otherwise, if it fails test 2, w = c and |c| >= 256 - 2^-16;
// if it fails a later test, it passed test 2 and |c| < 256. In both cases
// |w| >= |c| - 2^-16 and |w| > 255, so the exact next value has
// |w^2 + c| >= |w|^2 - |c| > 254 |w|, which the few roundings of a step (each
// within 2^-24 of the value, or of |w|^2 for the difference of squares) cannot
// bring down to 256: the lane fails again, with |w| grown, and so on.

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

// How a lane rounds a double to single precision.
//
// convert: to float and back, two conversions.
//
// split: x_hi = (k x) + (x - k x) with k = 2^29 + 1 (Veltkamp's splitting),
// three plain operations that run faster than the two conversions. x_hi is x
// rounded to nearest to 24 significant bits; where x lies halfway, x_hi is the
// even neighbour (escape_test.cpp checks every halfway double of a binade, and
// the steps scale exactly with powers of two). That is the float rounding for
// every x of the normal single-precision range, 2^-126 <= |x| < 2^128, and for
// 0; below that range a float has fewer bits. A point whose two parts both
// have |part| >= kSplitFloor never leaves its orbit in that gap: a nonzero
// (re - im)(re + im) + cre within 2^-126 of 0 needs the rounded product within
// 2^-126 of -cre, so both are multiples of 2^-113 (ulps of a double at least
// 2^-61 and of a float at least 2^-60) and so is their exact sum; likewise
// 2 re im + cim is a nonzero multiple of 2^-109 (2 re im a product of two
// 24-bit significands near |cim|). Zeros there carry no sign that matters:
// they only meet a nonzero cre or cim by addition or multiplication. Large
// values need no care: |x| < 2^17 in an active lane, and a lane that has left
// may run on into infinities and NaNs.
enum class Rounding { split, convert };

constexpr double kSplitFactor = 536870913.0;  // 2^29 + 1
constexpr float kSplitFloor = 0x1p-60f;

template <class Ops, Rounding rounding>
typename Ops::D round_to_float(typename Ops::D x) {
  if constexpr (rounding == Rounding::convert) {
    return Ops::round_to_float(x);
  } else {
    const typename Ops::D scaled = Ops::mul(x, Ops::broadcast(kSplitFactor));
    return Ops::add(scaled, Ops::sub(x, scaled));
  }
}

// Whether the split rounding gives the float rounding all along c's orbit.
// False for a NaN part.
constexpr bool splits_exactly(float cre, float cim) {
  return (cre >= kSplitFloor || cre <= -kSplitFloor) && (cim >= kSplitFloor || cim <= -kSplitFloor);
}

// Two vectors of lanes handled as one: a slot of the kernel. Twice the lanes
// a slot means half as many refills, each of which costs a mispredicted branch
// and a pause in the stream of steps.
template <class Ops>
struct TwoVectors {
  static constexpr int kWidth = 2 * Ops::kWidth;
  struct D {
    typename Ops::D a, b;
  };
  struct M {
    typename Ops::M a, b;
  };
  struct C {
    typename Ops::C a, b;
  };
  static D broadcast(double v) { return {Ops::broadcast(v), Ops::broadcast(v)}; }
  static D load_floats(const float* p) {
    return {Ops::load_floats(p), Ops::load_floats(p + Ops::kWidth)};
  }
  static D add(D x, D y) { return {Ops::add(x.a, y.a), Ops::add(x.b, y.b)}; }
  static D sub(D x, D y) { return {Ops::sub(x.a, y.a), Ops::sub(x.b, y.b)}; }
  static D mul(D x, D y) { return {Ops::mul(x.a, y.a), Ops::mul(x.b, y.b)}; }
  static D fma(D x, D y, D z) { return {Ops::fma(x.a, y.a, z.a), Ops::fma(x.b, y.b, z.b)}; }
  static D round_to_float(D x) { return {Ops::round_to_float(x.a), Ops::round_to_float(x.b)}; }
  static M less(D x, D y) { return {Ops::less(x.a, y.a), Ops::less(x.b, y.b)}; }
  static bool none(M m) { return Ops::none(Ops::or_mask(m.a, m.b)); }
  static C zero_count() { return {Ops::zero_count(), Ops::zero_count()}; }
  static C count_lanes(C c, M m) { return {Ops::count_lanes(c.a, m.a), Ops::count_lanes(c.b, m.b)}; }
  static void store_counts(long long* p, C c) {
    Ops::store_counts(p, c.a);
    Ops::store_counts(p + Ops::kWidth, c.b);
  }
};

// The lanes of the kernel, in kSlots slots of Ops::kWidth lanes (Ops being
// TwoVectors of an instruction set's operations): six vectors of orbits in
// flight, enough to hide the latency of one step. A slot holds the orbits of
// up to kWidth points; it is refilled with the next points as soon as all of
// its lanes have left, so that a slot of short orbits does not wait for a long
// one elsewhere. The slots are checked every kChunk steps, so a slot may run a
// few tests past the last one needed; counting only the first `tests` of them
// (the min below) gives the same count, since a lane that has left fails every
// later test.
constexpr int kSlots = 3;
constexpr int kChunk = 6;

// A lane that leaves on its second test: fills the lanes of a slot that has no
// points left to take.
constexpr float kIdleLane = 512.0f;

// Escape values of n points; each call `next(cre, cim)` gives the next point and
// returns the place of its value in z.
template <class Ops, Rounding rounding, class PointSource>
void run_points(PointSource next, std::ptrdiff_t n, int limit, float* z) {
  using D = typename Ops::D;
  using C = typename Ops::C;
  constexpr int W = Ops::kWidth;
  // n = -2 .. limit + 1: limit + 4 tests, none at all when limit + 4 <= 0, and
  // z keeps its start value 0.
  const long long tests = limit < -4 ? 0 : static_cast<long long>(limit) + 4;
  if (tests == 0) {
    float re, im;
    for (std::ptrdiff_t q = 0; q < n; ++q) z[next(re, im)] = 0.0f;
    return;
  }
  const D escape_square = Ops::broadcast(kEscapeSquare);
  D cr[kSlots], ci[kSlots], re[kSlots], im[kSlots];
  C count[kSlots];
  long long run[kSlots] = {};  // tests run in the slot since it was filled
  int lanes[kSlots] = {};      // lanes holding points
  std::ptrdiff_t place[kSlots][W];
  alignas(64) float x[W];
  alignas(64) float y[W];
  alignas(64) long long counts[W];
  std::ptrdiff_t left = n;              // points not yet taken
  int busy = 0;                         // slots holding points
  unsigned due = (1u << kSlots) - 1;    // slots to finish and fill, a bit each
  for (;;) {
    for (int v = 0; v < kSlots; ++v) {
      if (!(due >> v & 1u)) continue;
      // Write the values of the slot's points...
      if (lanes[v] > 0) {
        Ops::store_counts(counts, count[v]);
        for (int q = 0; q < lanes[v]; ++q)
          z[place[v][q]] = static_cast<float>((counts[q] < tests ? counts[q] : tests) - 3);
        --busy;
      }
      // ... and fill it with the next ones, idle lanes where there are none.
      lanes[v] = left < W ? static_cast<int>(left) : W;
      left -= lanes[v];
      if (lanes[v] > 0) ++busy;
      for (int q = 0; q < W; ++q) {
        if (q < lanes[v]) {
          place[v][q] = next(x[q], y[q]);
        } else {
          x[q] = kIdleLane;
          y[q] = 0.0f;
        }
      }
      cr[v] = Ops::load_floats(x);
      ci[v] = Ops::load_floats(y);
      re[v] = Ops::broadcast(0.0);
      im[v] = Ops::broadcast(0.0);
      count[v] = Ops::zero_count();
      run[v] = 0;
    }
    if (busy == 0) return;
    // Run all slots until one that holds points is finished. The state stays
    // in registers here: nothing in this loop writes memory.
    do {
      unsigned all_left = 0;  // slots whose lanes all failed the last test
      for (int step = 0; step < kChunk; ++step) {
#pragma GCC unroll 16
        for (int v = 0; v < kSlots; ++v) {
          const D s = Ops::fma(re[v], re[v], Ops::mul(im[v], im[v]));
          const auto active = Ops::less(s, escape_square);
          count[v] = Ops::count_lanes(count[v], active);
          if (step == kChunk - 1 && Ops::none(active)) all_left |= 1u << v;
          const D diff = Ops::sub(re[v], im[v]);
          const D sum = Ops::add(re[v], im[v]);
          const D next_re = Ops::add(Ops::mul(diff, sum), cr[v]);
          const D next_im = Ops::fma(Ops::add(re[v], re[v]), im[v], ci[v]);
          re[v] = round_to_float<Ops, rounding>(next_re);
          im[v] = round_to_float<Ops, rounding>(next_im);
        }
      }
      due = 0;
#pragma GCC unroll 16
      for (int v = 0; v < kSlots; ++v) {
        run[v] += kChunk;
        if (lanes[v] > 0 && ((all_left >> v & 1u) || run[v] >= tests)) due |= 1u << v;
      }
    } while (due == 0);
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
// (fewer in the last), column after column within a strip: neighbouring points,
// whose orbits tend to end together, share a slot.
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

// The points of a source for which splits_exactly is `split`, in their order.
template <class PointSource>
struct PointsThatSplit {
  PointSource source;
  bool split;
  std::ptrdiff_t operator()(float& re, float& im) {
    for (;;) {
      const std::ptrdiff_t place = source(re, im);
      if (splits_exactly(re, im) == split) return place;
    }
  }
};

// Every point through the split rounding where that is exact, the others
// through the conversions.
template <class Ops, class PointSource>
void run_all_points(PointSource points, std::ptrdiff_t n, int limit, float* z) {
  PointSource scan = points;
  std::ptrdiff_t converted = 0;
  for (std::ptrdiff_t q = 0; q < n; ++q) {
    float re, im;
    scan(re, im);
    if (!splits_exactly(re, im)) ++converted;
  }
  run_points<Ops, Rounding::split>(PointsThatSplit<PointSource>{points, true}, n - converted,
                                   limit, z);
  run_points<Ops, Rounding::convert>(PointsThatSplit<PointSource>{points, false}, converted,
                                     limit, z);
}

template <class Ops>
void escape_points(const float* cre, const float* cim, std::ptrdiff_t n, int limit, float* z) {
  run_all_points<TwoVectors<Ops>>(PointList{cre, cim}, n, limit, z);
}

template <class Ops>
void escape_grid(const float* x, std::ptrdiff_t nx, const float* y, std::ptrdiff_t ny,
                 int limit, float* z) {
  if (nx <= 0 || ny <= 0) return;
  run_all_points<TwoVectors<Ops>>(GridStrips{x, nx, y, ny}, nx * ny, limit, z);
}

}  // namespace
}  // namespace driver::fast_kernel
