// The fast escape kernel on AVX-512F: eight double lanes a vector, the lane
// masks in mask registers. This file alone is compiled with -mavx512f.

#include <immintrin.h>

#include "driver/escape_paths.h"
#include "driver/escape_simd.h"

namespace driver::fast_kernel {
namespace {

struct Avx512 {
  static constexpr int kWidth = 8;
  using D = __m512d;
  using M = __mmask8;  // one bit a lane, set while the lane is active
  using C = __m512i;

  static D broadcast(double v) { return _mm512_set1_pd(v); }
  // The zero-masked conversions with every lane selected are the plain ones; they
  // avoid the "undefined" source operand GCC 12 warns about in the unmasked forms.
  static D load_floats(const float* p) { return _mm512_maskz_cvtps_pd(0xFF, _mm256_load_ps(p)); }
  static D add(D a, D b) { return _mm512_add_pd(a, b); }
  static D sub(D a, D b) { return _mm512_sub_pd(a, b); }
  static D mul(D a, D b) { return _mm512_mul_pd(a, b); }
  // Only where a * b is exact in double precision: then equal to a * b + c.
  static D fma(D a, D b, D c) { return _mm512_fmadd_pd(a, b, c); }
  static D round_to_float(D a) {
    return _mm512_maskz_cvtps_pd(0xFF, _mm512_maskz_cvtpd_ps(0xFF, a));
  }

  static M less(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
  static M or_mask(M a, M b) { return static_cast<M>(a | b); }
  static bool none(M m) { return m == 0; }

  static C zero_count() { return _mm512_setzero_si512(); }
  static C count_lanes(C count, M active) {
    return _mm512_mask_add_epi64(count, active, count, _mm512_set1_epi64(1));
  }
  static void store_counts(long long* p, C count) { _mm512_store_si512(p, count); }
};

}  // namespace

void escape_points_avx512(const float* cre, const float* cim, std::ptrdiff_t n, int limit,
                          float* z) {
  escape_points<Avx512>(cre, cim, n, limit, z);
}

void escape_grid_avx512(const float* x, std::ptrdiff_t nx, const float* y, std::ptrdiff_t ny,
                        int limit, float* z) {
  escape_grid<Avx512>(x, nx, y, ny, limit, z);
}

}  // namespace driver::fast_kernel
