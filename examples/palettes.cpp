// The built-in colour tables, each drawn by the PostScript map as a ramp from
// its lowest to its highest value (palette_<name>.png), and a map of its own
// in grey and in colour with a fixed range (wave_grey.png, wave_viridis.png).
#include <cmath>
#include <string>
#include <vector>

#include "maparg/palette.h"
#include "mapps/ps_map.h"

int main() {
  // A ramp four times as wide as high: z = x.
  std::vector<float> x(64), y = {0, 0.25f}, ramp;
  for (int i = 0; i < 64; ++i) x[i] = static_cast<float>(i) / 63;
  for (float yj : y)
    for (float xi : x) ramp.push_back(xi + 0 * yj);
  for (const std::string_view name : maparg::palette_names()) {
    const std::string file = "palette_" + std::string(name) + ".ps";
    mapps::ps_map(x, y, ramp, {.title = name, .file = file, .device = "png", .palette = name});
  }

  const int nx = 64, ny = 48;
  std::vector<float> wx(nx), wy(ny), z(nx * ny);
  for (int i = 0; i < nx; ++i) wx[i] = static_cast<float>(i) / 8;
  for (int j = 0; j < ny; ++j) wy[j] = static_cast<float>(j) / 8;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) z[i + nx * j] = 1.5f + std::sin(wx[i]) * std::cos(wy[j]);
  const mapps::PsMapOptions grey = {
      .xlabel = "x [m]", .ylabel = "y [m]", .title = "Standing wave", .file = "wave_grey.png",
      .device = "png"};
  mapps::ps_map(wx, wy, z, grey);
  mapps::PsMapOptions colour = grey;
  colour.file = "wave_viridis.png";
  colour.palette = "viridis";
  colour.zmin = 0;
  colour.zmax = 3;
  mapps::ps_map(wx, wy, z, colour);
}
