#include "driver/escape.h"

namespace driver {

void escape_points(Kernel kernel, const float* cre, const float* cim, std::ptrdiff_t n,
                   int limit, float* z) {
  if (kernel == Kernel::fast) {
    escape_points(fast_path(), cre, cim, n, limit, z);
    return;
  }
  for (std::ptrdiff_t q = 0; q < n; ++q) z[q] = escape_value_reference(cre[q], cim[q], limit);
}

void escape_grid(Kernel kernel, const float* x, std::ptrdiff_t nx, const float* y,
                 std::ptrdiff_t ny, int limit, float* z) {
  if (kernel == Kernel::fast) {
    escape_grid(fast_path(), x, nx, y, ny, limit, z);
    return;
  }
  for (std::ptrdiff_t j = 0; j < ny; ++j)
    for (std::ptrdiff_t i = 0; i < nx; ++i)
      z[j * nx + i] = escape_value_reference(x[i], y[j], limit);
}

FrameGeometry fill_frame(int k, ZoomGrid& grid, Kernel kernel) {
  const FrameGeometry g = frame_geometry(k);
  for (int i = -kHalfSide; i <= kHalfSide; ++i) grid.x(i) = grid_coordinate(i, g.r, g.xc);
  for (int j = -kHalfSide; j <= kHalfSide; ++j) grid.y(j) = grid_coordinate(j, g.r, g.yc);
  escape_grid(kernel, grid.x_data(), kSide, grid.y_data(), kSide, g.limit, grid.z_data());
  return g;
}

}  // namespace driver
