// The fast escape kernel: the portable implementation and the choice among the
// implementations at run time, so that one program runs on any x86-64 processor.

#include <cstdlib>

#include "driver/escape.h"
#include "driver/escape_paths.h"
#include "driver/escape_simd.h"

namespace driver {
namespace fast_kernel {
namespace {

// One double a lane, each slot of the kernel a few independent orbits; the compiler is free
// to vectorise what it can with the baseline instruction set.
struct Portable {
  static constexpr int kWidth = 1;
  using D = double;
  using M = bool;
  using C = long long;

  static D broadcast(double v) { return v; }
  static D load_floats(const float* p) { return static_cast<double>(*p); }
  static D add(D a, D b) { return a + b; }
  static D sub(D a, D b) { return a - b; }
  static D mul(D a, D b) { return a * b; }
  // Only where a * b is exact in double precision: then a * b + c is the fused value.
  static D fma(D a, D b, D c) { return a * b + c; }
  static D round_to_float(D a) { return static_cast<double>(static_cast<float>(a)); }

  static M less(D a, D b) { return a < b; }
  static M or_mask(M a, M b) { return a || b; }
  static bool none(M m) { return !m; }

  static C zero_count() { return 0; }
  static C count_lanes(C count, M active) { return count + (active ? 1 : 0); }
  static void store_counts(long long* p, C count) { *p = count; }
};

}  // namespace

void escape_points_portable(const float* cre, const float* cim, std::ptrdiff_t n, int limit,
                            float* z) {
  escape_points<Portable>(cre, cim, n, limit, z);
}

void escape_grid_portable(const float* x, std::ptrdiff_t nx, const float* y, std::ptrdiff_t ny,
                          int limit, float* z) {
  escape_grid<Portable>(x, nx, y, ny, limit, z);
}

}  // namespace fast_kernel

namespace {

using PointsFn = void (*)(const float*, const float*, std::ptrdiff_t, int, float*);
using GridFn = void (*)(const float*, std::ptrdiff_t, const float*, std::ptrdiff_t, int, float*);

struct Implementation {
  PointsFn points;
  GridFn grid;
};

Implementation implementation(FastPath path) {
  switch (path) {
#if DRIVER_X86_PATHS
    case FastPath::avx512:
      return {fast_kernel::escape_points_avx512, fast_kernel::escape_grid_avx512};
    case FastPath::avx2:
      return {fast_kernel::escape_points_avx2, fast_kernel::escape_grid_avx2};
#endif
    default:
      return {fast_kernel::escape_points_portable, fast_kernel::escape_grid_portable};
  }
}

// An unsupported path would execute unknown instructions: refuse it outright.
Implementation checked_implementation(FastPath path) {
  if (!fast_path_supported(path)) std::abort();
  return implementation(path);
}

}  // namespace

bool fast_path_supported(FastPath path) {
  switch (path) {
    case FastPath::portable:
      return true;
#if DRIVER_X86_PATHS
    case FastPath::avx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case FastPath::avx512:
      return __builtin_cpu_supports("avx512f");
#endif
    default:
      return false;
  }
}

FastPath fast_path() {
  static const FastPath chosen = [] {
    if (fast_path_supported(FastPath::avx512)) return FastPath::avx512;
    if (fast_path_supported(FastPath::avx2)) return FastPath::avx2;
    return FastPath::portable;
  }();
  return chosen;
}

std::string_view fast_path_name(FastPath path) {
  switch (path) {
    case FastPath::avx512:
      return "avx512";
    case FastPath::avx2:
      return "avx2";
    default:
      return "portable";
  }
}

void escape_points(FastPath path, const float* cre, const float* cim, std::ptrdiff_t n,
                   int limit, float* z) {
  checked_implementation(path).points(cre, cim, n, limit, z);
}

void escape_grid(FastPath path, const float* x, std::ptrdiff_t nx, const float* y,
                 std::ptrdiff_t ny, int limit, float* z) {
  checked_implementation(path).grid(x, nx, y, ny, limit, z);
}

}  // namespace driver
