#pragma once
// The escape-time iteration of the zoom.
//
// For a point c the orbit starts at w = 0 and runs w <- w^2 + c in single
// precision; the escape value is the number of the last step n (from -2) at
// which |w| was still below 256, for n = -2 .. N + 1. A point whose orbit never
// reaches 256 within those N + 4 steps gets N + 1; one with |c| >= 256 gets -2.
//
// Every formula is evaluated in double precision from the single-precision parts,
// in the order written, without fused multiply-add, and rounded once to single
// precision when stored:
//   |w|     = (float) sqrt(re * re + im * im)        compared with 256
//   new re  = (float) ((re - im) * (re + im) + re(c))
//   new im  = (float) (2 * re * im + im(c))
// The reference loop does exactly that; the fast kernels give the same values bit
// for bit (double-precision SIMD lanes, the same roundings, only rearrangements
// that are exact; see escape_simd.h).

#include <cstddef>
#include <string_view>

#include "driver/zoom.h"

namespace driver {

enum class Kernel { reference, fast };

// The implementations of the fast kernel; which ones can run depends on the processor.
enum class FastPath { portable, avx2, avx512 };

// The escape value of c = (cre, cim) with iteration limit N = `limit`: the plain loop.
float escape_value_reference(float cre, float cim, int limit);

// Escape values of n points c = (cre[q], cim[q]) into z[q], q = 0 .. n - 1.
void escape_points(Kernel kernel, const float* cre, const float* cim, std::ptrdiff_t n,
                   int limit, float* z);

// Escape values of the grid c = (x[i], y[j]) into z[j * nx + i], rows j outer,
// columns i inner.
void escape_grid(Kernel kernel, const float* x, std::ptrdiff_t nx, const float* y,
                 std::ptrdiff_t ny, int limit, float* z);

// The same through one chosen implementation of the fast kernel.
// Requires: fast_path_supported(path).
void escape_points(FastPath path, const float* cre, const float* cim, std::ptrdiff_t n,
                   int limit, float* z);
void escape_grid(FastPath path, const float* x, std::ptrdiff_t nx, const float* y,
                 std::ptrdiff_t ny, int limit, float* z);

// Whether this processor (and this build) can run the path.
bool fast_path_supported(FastPath path);
// The path Kernel::fast uses: the widest one the processor supports, chosen once.
FastPath fast_path();
std::string_view fast_path_name(FastPath path);

// Frame k: its geometry (returned), the x and y vectors and every escape value.
FrameGeometry fill_frame(int k, ZoomGrid& grid, Kernel kernel);

}  // namespace driver
