// Writes a z(x, y) of its own to a data file in double precision, as a
// matrix, and reads the file back.
#include <cmath>
#include <cstdio>
#include <vector>

#include "mapdata/dat_map.h"
#include "mapdata/map_reader.h"

int main() {
  const int nx = 40, ny = 30;
  std::vector<double> x(nx), y(ny), z(nx * ny);  // z(i, j) at i + nx * j
  for (int i = 0; i < nx; ++i) x[i] = -2.0 + 4.0 * i / (nx - 1);
  for (int j = 0; j < ny; ++j) y[j] = -1.5 + 3.0 * j / (ny - 1);
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) z[i + nx * j] = std::exp(-x[i] * x[i] - y[j] * y[j]);

  mapdata::dat_map_2d_r8(x, y, maparg::MatView<double>(z.data(), nx, ny),
                         {.xlabel = "position", .ylabel = "height", .title = "Gaussian bump",
                          .file = "bump.dat"});

  const mapdata::MapReadResult back = mapdata::read_map_file("bump.dat");
  if (!back) {
    std::fprintf(stderr, "bump.dat: %s\n", back.error.c_str());
    return 1;
  }
  const mapdata::MapData& map = *back.map;
  std::printf("read %d x %d values, title \"%s\", z(1,1) = %g\n", map.nx, map.ny,
              map.title.c_str(), map.z[0]);
  return map.nx == nx && map.ny == ny && map.z.size() == z.size() ? 0 : 1;
}
