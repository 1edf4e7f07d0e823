// Draws a z(x, y) of its own as a PostScript map, then the same map on a
// logarithmic scale as PNG and as PDF through the device type.
#include <cmath>
#include <vector>

#include "mapps/ps_map.h"

int main() {
  const int nx = 64, ny = 48;
  std::vector<float> x(nx), y(ny), z(nx * ny);  // flat z, x index fastest
  for (int i = 0; i < nx; ++i) x[i] = static_cast<float>(i) / 8;
  for (int j = 0; j < ny; ++j) y[j] = static_cast<float>(j) / 8;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i)
      z[i + nx * j] = 1.5f + std::sin(x[i]) * std::cos(y[j]);  // always positive

  // Landscape PostScript into the default file, Map.ps.
  mapps::ps_map(x, y, z, {.xlabel = "x [m]", .ylabel = "y [m]", .title = "Standing wave"});
  // "wave.ps" with device type png is written as "wave.png", with pdf as "wave.pdf";
  // both on a log10 scale.
  for (const char* device : {"png", "pdf"})
    mapps::ps_map(x, y, z, {.log = -1, .xlabel = "x [m]", .ylabel = "y [m]",
                            .title = "Standing wave", .file = "wave.ps", .device = device});
}
