#pragma once
// The implementations of the fast escape kernel, one per instruction set.
// Call one only on a processor that has its instruction set (escape_fast.cpp
// chooses). Arguments as escape_points and escape_grid in escape.h.

#include <cstddef>

namespace driver::fast_kernel {

void escape_points_portable(const float* cre, const float* cim, std::ptrdiff_t n, int limit,
                            float* z);
void escape_grid_portable(const float* x, std::ptrdiff_t nx, const float* y, std::ptrdiff_t ny,
                          int limit, float* z);

void escape_points_avx2(const float* cre, const float* cim, std::ptrdiff_t n, int limit,
                        float* z);
void escape_grid_avx2(const float* x, std::ptrdiff_t nx, const float* y, std::ptrdiff_t ny,
                      int limit, float* z);

void escape_points_avx512(const float* cre, const float* cim, std::ptrdiff_t n, int limit,
                          float* z);
void escape_grid_avx512(const float* x, std::ptrdiff_t nx, const float* y, std::ptrdiff_t ny,
                        int limit, float* z);

}  // namespace driver::fast_kernel
