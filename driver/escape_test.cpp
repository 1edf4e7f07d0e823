// The escape kernels: single points with known values, and the fast kernel's
// agreement with the reference loop away from the zoom's own frames.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <string>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

#include "driver/escape.h"
#include "driver/escape_simd.h"

namespace driver {
namespace {

std::vector<FastPath> supported_paths() {
  std::vector<FastPath> paths;
  for (FastPath p : {FastPath::portable, FastPath::avx2, FastPath::avx512})
    if (fast_path_supported(p)) paths.push_back(p);
  return paths;
}

float fast_value(FastPath path, float cre, float cim, int limit) {
  float z = 99.0f;
  escape_points(path, &cre, &cim, 1, limit, &z);
  return z;
}

// Reference and every fast path on the same points; reports the first point that differs.
void expect_all_paths_agree(const std::vector<float>& cre, const std::vector<float>& cim,
                            const std::vector<int>& limits) {
  for (FastPath path : supported_paths()) {
    std::size_t mismatches = 0;
    for (std::size_t q = 0; q < cre.size(); ++q) {
      // One call with many points of one limit, so that the slots are full.
      if (q > 0 && limits[q] == limits[q - 1]) continue;
      std::size_t end = q;
      while (end < cre.size() && limits[end] == limits[q]) ++end;
      std::vector<float> z(end - q, 99.0f);
      escape_points(path, cre.data() + q, cim.data() + q, static_cast<std::ptrdiff_t>(end - q),
                    limits[q], z.data());
      for (std::size_t r = q; r < end; ++r) {
        const float expected = escape_value_reference(cre[r], cim[r], limits[r]);
        if (std::bit_cast<std::uint32_t>(z[r - q]) != std::bit_cast<std::uint32_t>(expected) &&
            mismatches++ < 5)
          ADD_FAILURE() << fast_path_name(path) << ": c = (" << cre[r] << ", " << cim[r]
                        << "), N = " << limits[r] << ": fast " << z[r - q] << ", reference "
                        << expected;
      }
    }
    EXPECT_EQ(mismatches, 0u) << fast_path_name(path);
  }
}

TEST(Escape, KnownPointsOnEveryKernel) {
  struct Case {
    float cre, cim;
    int limit;
    float value;
  };
  const Case cases[] = {
      {2.0f, 0.0f, 37, 1.0f},          // w = 2, 6, 38, 1446: leaves on w4
      {-2.0f, 0.0f, 37, 38.0f},        // w = -2, 2, 2, ...: stays, N + 1
      {0.0f, 0.0f, 395, 396.0f},       // the origin never leaves
      {256.0f, 0.0f, 37, -2.0f},       // |c| >= 256 leaves on w1
      {0.0f, -300.0f, 37, -2.0f},
      {200.0f, 200.0f, 37, -2.0f},     // |c| about 282.8
      {255.0f, 0.0f, 37, -1.0f},       // leaves on w2
      {0.0f, 0.0f, -4, 0.0f},          // no step at all: the start value 0
      {5.0f, 0.0f, -3, -2.0f},         // one step only (n = -2)
      {5.0f, 0.0f, -2, -1.0f},         // two steps (n = -2, -1), both still inside
      {std::nanf(""), 0.0f, 37, -2.0f},  // a modulus that is not a number leaves
      {INFINITY, 0.0f, 37, -2.0f},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(escape_value_reference(c.cre, c.cim, c.limit), c.value)
        << "reference, c = (" << c.cre << ", " << c.cim << "), N = " << c.limit;
    for (FastPath path : supported_paths())
      EXPECT_EQ(fast_value(path, c.cre, c.cim, c.limit), c.value)
          << fast_path_name(path) << ", c = (" << c.cre << ", " << c.cim << "), N = " << c.limit;
  }
}

TEST(Escape, PathChoice) {
  EXPECT_TRUE(fast_path_supported(FastPath::portable));
  const FastPath chosen = fast_path();
  EXPECT_TRUE(fast_path_supported(chosen));
  // The widest supported path is chosen.
  EXPECT_EQ(chosen, supported_paths().back()) << fast_path_name(chosen);
  EXPECT_EQ(fast_path_name(FastPath::portable), "portable");
  EXPECT_EQ(fast_path_name(FastPath::avx2), "avx2");
  EXPECT_EQ(fast_path_name(FastPath::avx512), "avx512");
#if defined(__x86_64__)
  EXPECT_EQ(fast_path_supported(FastPath::avx2),
            __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"));
  EXPECT_EQ(fast_path_supported(FastPath::avx512), __builtin_cpu_supports("avx512f") != 0);
#endif
  std::printf("fast path on this processor: %s\n", std::string(fast_path_name(chosen)).c_str());
}

// The squared test against kEscapeSquare stands for (float) sqrt(s) < 256. Both
// roundings are monotonic in s, so the two doubles at the edge decide it for all s.
TEST(Escape, SquaredEscapeTestEdge) {
  const double edge = fast_kernel::kEscapeSquare;
  const double below = std::nextafter(edge, 0.0);
  EXPECT_GE(static_cast<float>(std::sqrt(edge)), 256.0f);
  EXPECT_LT(static_cast<float>(std::sqrt(below)), 256.0f);
  // 65536 itself is not the edge: values just below it already round to 256.
  EXPECT_LT(edge, 65536.0);
  EXPECT_EQ(static_cast<float>(std::sqrt(std::nextafter(65536.0, 0.0))), 256.0f);
}

// The split rounding against the float conversion: every halfway double of the
// binade [1, 2) and its neighbours (the steps scale exactly with powers of two,
// so one binade stands for all), both signs, the top of the binade where the
// rounding carries into the next, and random doubles over the range an orbit
// can reach.
TEST(Escape, SplitRoundingIsTheFloatRounding) {
  struct Scalar {
    using D = double;
    static D broadcast(double v) { return v; }
    static D mul(D a, D b) { return a * b; }
    static D sub(D a, D b) { return a - b; }
    static D add(D a, D b) { return a + b; }
  };
  const auto split = fast_kernel::round_to_float<Scalar, fast_kernel::Rounding::split>;
  std::size_t checked = 0;
  std::size_t mismatches = 0;
  auto check = [&](double x) {
    ++checked;
    const double expected = static_cast<double>(static_cast<float>(x));
    if (std::bit_cast<std::uint64_t>(split(x)) != std::bit_cast<std::uint64_t>(expected) &&
        mismatches++ < 5)
      ADD_FAILURE() << std::hexfloat << x << ": split " << split(x) << ", float " << expected;
  };
  constexpr std::uint64_t kOne = 0x3FF0000000000000u;
  constexpr std::uint64_t kHalfway = std::uint64_t{1} << 28;  // low 29 bits 1000...0
  for (std::uint64_t high = 0; high < (std::uint64_t{1} << 23); ++high) {
    for (std::uint64_t low : {kHalfway - 1, kHalfway, kHalfway + 1}) {
      const double x = std::bit_cast<double>(kOne | high << 29 | low);
      check(x);
      check(-x);
    }
  }
  for (std::uint64_t k = 0; k < 4096; ++k) check(std::bit_cast<double>(0x3FFFFFFFFFFFFFFFu - k));
  std::mt19937_64 rng(1208);
  for (int q = 0; q < 200000; ++q) {
    const std::uint64_t sign_and_fraction = rng() & 0x800FFFFFFFFFFFFFu;
    const auto exponent = static_cast<std::uint64_t>(1023 - 113 + static_cast<int>(rng() % 131));
    check(std::bit_cast<double>(sign_and_fraction | exponent << 52));
  }
  check(0.0);
  EXPECT_EQ(mismatches, 0u) << "of " << checked;
}

TEST(Escape, RandomPointsAndLimitsAgree) {
  std::mt19937_64 rng(20261208);
  std::uniform_real_distribution<double> radius(0.0, 3.0);
  std::uniform_real_distribution<double> angle(0.0, 6.283185307179586);
  std::uniform_int_distribution<int> limit(-5, 420);
  std::vector<float> cre, cim;
  std::vector<int> limits;
  for (int batch = 0; batch < 60; ++batch) {
    const int n = limit(rng);
    const int count = 1 + batch * 7;  // 1 .. 414 points: full and partial slots
    for (int q = 0; q < count; ++q) {
      // Half of the points near the boundary of the set, where orbits are long.
      const double r = q % 2 ? radius(rng) : 0.25 + 0.75 * radius(rng) / 3.0;
      const double a = angle(rng);
      cre.push_back(static_cast<float>(r * std::cos(a) - (q % 2 ? 0.0 : 0.25)));
      cim.push_back(static_cast<float>(r * std::sin(a)));
      limits.push_back(n);
    }
  }
  expect_all_paths_agree(cre, cim, limits);
}

// Points whose orbit reaches 256 within a few units in the last place: c with
// |w1| = |c|, |w2| = |c^2 + c| or |w3| = |(c^2 + c)^2 + c| about 256 at many
// angles, each shifted by a few ulps in both parts.
TEST(Escape, OrbitsEndingAtTheEscapeRadiusAgree) {
  using C = std::complex<double>;
  std::vector<float> cre, cim;
  std::vector<int> limits;
  int near_edge = 0;     // tests with |w| within 4 ulps (single) of 256
  int squared_differs = 0;  // tests where s < 65536 would decide otherwise
  for (int step = 1; step <= 3; ++step) {
    for (int a = 0; a < 97; ++a) {
      const C target = std::polar(256.0, 6.283185307179586 * a / 97.0);
      C c;
      if (step == 1) {
        c = target;
      } else if (step == 2) {
        c = (-1.0 + std::sqrt(1.0 + 4.0 * target)) / 2.0;
      } else {
        c = std::pow(target, 0.25);
        for (int it = 0; it < 60; ++it) {  // Newton on (c^2 + c)^2 + c = target
          const C w2 = c * c + c;
          c -= (w2 * w2 + c - target) / (2.0 * w2 * (2.0 * c + 1.0) + 1.0);
        }
      }
      const float re0 = static_cast<float>(c.real());
      const float im0 = static_cast<float>(c.imag());
      for (int dr = -3; dr <= 3; ++dr) {
        for (int di = -3; di <= 3; ++di) {
          float re = re0, im = im0;
          for (int u = 0; u < std::abs(dr); ++u) re = std::nextafter(re, dr > 0 ? 1e9f : -1e9f);
          for (int u = 0; u < std::abs(di); ++u) im = std::nextafter(im, di > 0 ? 1e9f : -1e9f);
          cre.push_back(re);
          cim.push_back(im);
          limits.push_back(37);
          // Follow the orbit as the reference does and look at its last test.
          float wr = 0.0f, wi = 0.0f;
          for (int m = 0; m <= step + 1; ++m) {
            const double s = static_cast<double>(wr) * wr + static_cast<double>(wi) * wi;
            const float modulus = static_cast<float>(std::sqrt(s));
            if (std::abs(modulus - 256.0f) <= 4.0f * 3.0517578e-05f) ++near_edge;
            if ((s < 65536.0) != (modulus < 256.0f)) ++squared_differs;
            if (!(modulus < 256.0f)) break;
            const float nr = static_cast<float>(
                (static_cast<double>(wr) - wi) * (static_cast<double>(wr) + wi) + re);
            wi = static_cast<float>(2.0 * wr * wi + im);
            wr = nr;
          }
        }
      }
    }
  }
  // The points do sit at the edge, on both sides of it.
  EXPECT_GT(near_edge, 1000);
  EXPECT_GT(squared_differs, 0);
  expect_all_paths_agree(cre, cim, limits);
}

// Points the split rounding cannot take (a part near or at zero, below the
// normal single-precision range, or not a number) go through the conversions;
// mixed in one call with points that split, each value lands in its place.
TEST(Escape, PointsNearTheAxesAgree) {
  const float tiny[] = {0.0f, -0.0f, 1e-45f, -3e-39f, 1e-30f, 0x1p-61f, 0x1p-60f, -0x1p-60f,
                        1e-12f, 0.3f};
  std::vector<float> cre, cim;
  std::vector<int> limits;
  for (float small : tiny) {
    for (float other : {-1.75f, -0.75f, 0.0f, 0.25f, 0.3f, 1e-20f}) {
      for (int limit : {37, 395}) {
        cre.push_back(other);
        cim.push_back(small);
        cre.push_back(small);
        cim.push_back(other);
        limits.insert(limits.end(), 2, limit);
      }
    }
  }
  // Sorted by limit, so that each call takes a run of mixed points.
  std::vector<std::size_t> order(cre.size());
  for (std::size_t q = 0; q < order.size(); ++q) order[q] = q;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return limits[a] < limits[b]; });
  std::vector<float> r, i;
  std::vector<int> l;
  for (std::size_t q : order) {
    r.push_back(cre[q]);
    i.push_back(cim[q]);
    l.push_back(limits[q]);
  }
  // Chaotic orbits along the real axis from a subnormal imaginary part: below the
  // normal range a float keeps fewer bits, and the orbit magnifies the difference
  // about twofold a step until the point leaves.
  for (int q = 0; q < 64; ++q) {
    r.push_back(-1.99999f + 0.003f * static_cast<float>(q));
    i.push_back(std::ldexp(static_cast<float>(q % 7 + 1), -149));
    l.push_back(395);
  }
  r.push_back(std::nanf(""));
  i.push_back(0.5f);
  l.push_back(395);
  expect_all_paths_agree(r, i, l);
}

// A lane that has left keeps running until its slot is refilled; it must fail
// every later test, however far out it starts and however long it runs on.
TEST(Escape, PointsFarOutsideWithLongLimitsAgree) {
  std::vector<float> cre, cim;
  std::vector<int> limits;
  std::mt19937_64 rng(77);
  std::uniform_real_distribution<double> angle(0.0, 6.283185307179586);
  for (double radius : {2.01, 3.0, 255.9, 256.0, 300.0, 1e4, 1e19, 1e38, 3e38}) {
    for (int a = 0; a < 16; ++a) {
      const double t = angle(rng);
      cre.push_back(static_cast<float>(radius * std::cos(t)));
      cim.push_back(static_cast<float>(radius * std::sin(t)));
      limits.push_back(400);
    }
  }
  for (float huge : {INFINITY, -INFINITY, 3.4e38f}) {
    cre.push_back(huge);
    cim.push_back(0.5f);
    cre.push_back(0.5f);
    cim.push_back(huge);
    limits.insert(limits.end(), 2, 400);
  }
  expect_all_paths_agree(cre, cim, limits);
}

TEST(Escape, GridsOfAnyShape) {
  const float x[] = {-2.1f, -1.5f, -0.75f, -0.1f, 0.0f, 0.26f, 0.3f, 0.4f, 1.0f, 2.0f, 3.0f};
  const float y[] = {-1.0f, -0.5f, 0.0f, 0.1f, 0.64f, 1.2f, 2.5f};
  for (std::ptrdiff_t nx : {1, 3, 11}) {
    for (std::ptrdiff_t ny : {1, 4, 7}) {
      std::vector<float> expected(static_cast<std::size_t>(nx * ny));
      for (std::ptrdiff_t j = 0; j < ny; ++j)
        for (std::ptrdiff_t i = 0; i < nx; ++i)
          expected[j * nx + i] = escape_value_reference(x[i], y[j], 120);
      std::vector<float> z(expected.size() + 1, 99.0f);
      escape_grid(Kernel::reference, x, nx, y, ny, 120, z.data());
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), z.begin()));
      EXPECT_EQ(z.back(), 99.0f);  // nothing written past the grid
      for (FastPath path : supported_paths()) {
        std::fill(z.begin(), z.end(), 99.0f);
        escape_grid(path, x, nx, y, ny, 120, z.data());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), z.begin()))
            << fast_path_name(path) << " " << nx << " x " << ny;
        EXPECT_EQ(z.back(), 99.0f) << fast_path_name(path);
      }
    }
  }
  // Empty grids write nothing.
  float z = 99.0f;
  escape_grid(Kernel::fast, x, 0, y, 5, 37, &z);
  escape_grid(Kernel::fast, x, 5, y, 0, 37, &z);
  escape_points(Kernel::fast, x, y, 0, 37, &z);
  EXPECT_EQ(z, 99.0f);
}

}  // namespace
}  // namespace driver
