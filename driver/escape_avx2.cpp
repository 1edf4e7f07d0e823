// The fast escape kernel on AVX2 and FMA: four double lanes a vector.
// This file alone is compiled with -mavx2 -mfma.

#include <immintrin.h>

#include "driver/escape_paths.h"
#include "driver/escape_simd.h"

namespace driver::fast_kernel {
namespace {

struct Avx2 {
  static constexpr int kWidth = 4;
  using D = __m256d;
  using M = __m256d;  // all bits set in an active lane
  using C = __m256i;

  static D broadcast(double v) { return _mm256_set1_pd(v); }
  static D load_floats(const float* p) { return _mm256_cvtps_pd(_mm_load_ps(p)); }
  static D add(D a, D b) { return _mm256_add_pd(a, b); }
  static D sub(D a, D b) { return _mm256_sub_pd(a, b); }
  static D mul(D a, D b) { return _mm256_mul_pd(a, b); }
  // Only where a * b is exact in double precision: then equal to a * b + c.
  static D fma(D a, D b, D c) { return _mm256_fmadd_pd(a, b, c); }
  static D round_to_float(D a) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(a)); }

  static M less(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
  static M or_mask(M a, M b) { return _mm256_or_pd(a, b); }
  static bool none(M m) { return _mm256_movemask_pd(m) == 0; }

  static C zero_count() { return _mm256_setzero_si256(); }
  // An active lane holds -1: subtracting it counts one.
  static C count_lanes(C count, M active) {
    return _mm256_sub_epi64(count, _mm256_castpd_si256(active));
  }
  static void store_counts(long long* p, C count) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(p), count);
  }
};

}  // namespace

void escape_points_avx2(const float* cre, const float* cim, std::ptrdiff_t n, int limit,
                        float* z) {
  escape_points<Avx2>(cre, cim, n, limit, z);
}

void escape_grid_avx2(const float* x, std::ptrdiff_t nx, const float* y, std::ptrdiff_t ny,
                      int limit, float* z) {
  escape_grid<Avx2>(x, nx, y, ny, limit, z);
}

}  // namespace driver::fast_kernel
