// What the C++ calls give, for the Python module's tests to compare with:
//   reference_maps <folder>
// writes into <folder>
//   x8.bin y8.bin z8.bin   the data (float64, z flat with the x index fastest)
//   x4.bin y4.bin z4.bin   the same rounded to float32
//   dat_*.dat, ps_*.png, ps_*.svg   files of the data export and the PostScript map
//   nc_*.nc                the NetCDF map files of the same calls
//   defaults/Map.dat, defaults/Map.ps   the same with every option left out
//   defaults/Map.png       every option but the device left out
//   scr_*.rgb              screen map surfaces, 3 bytes a pixel, row by row
//   zoom1_z.bin zoom1.rgb  the zoom's first frame: its grid z(i, j) (float32,
//                          i fastest) and its window's surface
//   zoom175_z.bin zoom350_z.bin   the grids of two later frames
//   colour_*.png, colour_*.rgb   both maps with a colour table and a range
//   nan_*.png, nan_*.rgb   both maps with nan_colour, under and over
//   page_ps_map.png, centre_scr_map.rgb   zcentre, zlabel, aspect and pixels
// Each case is named after the form it calls.

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/escape.h"
#include "driver/hand_off.h"
#include "driver/zoom.h"
#include "gfxwin/graphics.h"
#include "maparg/convert.h"
#include "mapdata/dat_map.h"
#include "mapnc/nc_map.h"
#include "mapps/ps_map.h"
#include "mapscreen/screen_map.h"

namespace {

template <class T>
void write_binary(const std::string& name, const T* data, std::size_t n) {
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (f == nullptr || std::fwrite(data, sizeof(T), n, f) != n || std::fclose(f) != 0) {
    std::perror(name.c_str());
    std::exit(1);
  }
}

template <class T>
void write_binary(const std::string& name, const std::vector<T>& v) {
  write_binary(name, v.data(), v.size());
}

// The surface of the screen map's latest window as 3 bytes a pixel.
void write_surface(const std::string& name) {
  gfxwin::Picture p;
  if (!gfxwin::snapshot(mapscreen::screen_map_state().unit_counter, p)) std::exit(1);
  std::vector<unsigned char> rgb;
  for (std::uint32_t pixel : p.pixels) {
    rgb.push_back(static_cast<unsigned char>(pixel >> 16));
    rgb.push_back(static_cast<unsigned char>(pixel >> 8));
    rgb.push_back(static_cast<unsigned char>(pixel));
  }
  write_binary(name, rgb);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || chdir(argv[1]) != 0) {
    std::fprintf(stderr, "usage: reference_maps <folder>\n");
    return 2;
  }
  constexpr int nx = 5, ny = 4;
  std::vector<double> x8(nx), y8(ny), z8(nx * ny);
  for (int i = 0; i < nx; ++i) x8[i] = -1.0 + 0.7 * i;
  for (int j = 0; j < ny; ++j) y8[j] = 0.3 * j - 0.1;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) z8[i + nx * j] = std::exp(0.3 * i) * (1 + 0.2 * j) + 0.1 * std::sin(i * j);
  const std::vector<float> x4 = maparg::to_vector<float>(maparg::VecView<double>(x8));
  const std::vector<float> y4 = maparg::to_vector<float>(maparg::VecView<double>(y8));
  const std::vector<float> z4 = maparg::to_vector<float>(maparg::VecView<double>(z8));
  write_binary("x8.bin", x8);
  write_binary("y8.bin", y8);
  write_binary("z8.bin", z8);
  write_binary("x4.bin", x4);
  write_binary("y4.bin", y4);
  write_binary("z4.bin", z4);
  const maparg::MatView<double> m8(z8.data(), nx, ny);
  const maparg::MatView<float> m4(z4.data(), nx, ny);

  mapdata::dat_map(x4, y4, z4, {.file = "dat_map.dat"});
  mapdata::dat_map_r8(x8, y8, z8, {.file = "dat_map_r8.dat"});
  mapdata::dat_map_2d(x4, y4, m4,
                      {.log = -1, .xlabel = "  Re(c)", .title = "Field", .file = "dat_map_2d.dat"});
  mapdata::dat_map_2d_r8(x8, y8, m8,
                         {.xlabel = "", .ylabel = "height", .title = "  T", .file = "dat_map_2d_r8.dat"});

  mapnc::nc_map(x4, y4, z4, {.file = "nc_map.nc"});
  mapnc::nc_map_r8(x8, y8, z8, {.file = "nc_map_r8.nc"});
  mapnc::nc_map_2d(x4, y4, m4,
                   {.log = -1, .xlabel = "  Re(c)", .title = "Field", .file = "nc_map_2d.nc"});
  mapnc::nc_map_2d_r8(x8, y8, m8,
                      {.xlabel = "", .ylabel = "height", .title = "  T", .file = "nc_map_2d_r8.nc"});

  mapps::ps_map(x4, y4, z4, {.file = "ps_map.png", .device = "png"});
  mapps::ps_map_r8(x8, y8, z8, {.log = -1, .title = "Spectrum", .file = "ps_map_r8.svg", .device = "svg"});
  mapps::ps_map_2d(x4, y4, m4, {.xlabel = "t", .ylabel = "E", .file = "ps_map_2d.ps", .device = "png"});
  mapps::ps_map_2d_r8(x8, y8, m8, {.title = "", .file = "ps_map_2d_r8.svg", .device = "SVG"});

  mkdir("defaults", 0777);
  if (chdir("defaults") != 0) return 1;
  mapdata::dat_map_r8(x8, y8, z8);
  mapps::ps_map_2d(x4, y4, m4);
  mapps::ps_map_2d(x4, y4, m4, {.device = "png"});
  if (chdir("..") != 0) return 1;

  std::vector<double> z8_copy = z8;  // the base form rescales its z
  mapscreen::scr_map(x8, y8, z8_copy, {.title = "Base", .size = 2, .own_window = -1});
  write_surface("scr_map.rgb");
  mapscreen::scr_map_r4(x4, y4, z4, {.own_window = -1});
  write_surface("scr_map_r4.rgb");
  mapscreen::scr_map_2d(x4, y4, m4, {.log = -1, .xlabel = "Re", .ylabel = "Im", .own_window = -1});
  write_surface("scr_map_2d.rgb");
  mapscreen::scr_map_2d_r8(x8, y8, m8, {.title = "Large", .size = 3, .own_window = -1});
  write_surface("scr_map_2d_r8.rgb");

  // Colours: a table by name and one of control points (blue, white, red),
  // with a range of the caller's own, whole or in part.
  const maparg::PalettePoint points[] = {{0, 0, 0, 1}, {0.5f, 1, 1, 1}, {1, 1, 0, 0}};
  mapps::ps_map_2d_r8(x8, y8, m8, {.file = "colour_ps_map_2d_r8.png", .device = "png",
                                   .palette = "viridis", .zmin = 1, .zmax = 4});
  mapps::ps_map(x4, y4, z4, {.log = -1, .file = "colour_ps_map.png", .device = "png",
                             .palette = points, .zmax = 4});
  mapscreen::scr_map_2d(x4, y4, m4, {.own_window = -1, .palette = "Magma_r", .zmin = 1.5});
  write_surface("colour_scr_map_2d.rgb");
  z8_copy = z8;
  mapscreen::scr_map(x8, y8, z8_copy,
                     {.size = 2, .own_window = -1, .palette = points, .zmin = 1, .zmax = 4});
  write_surface("colour_scr_map.rgb");

  // Cells that are not numbers (masked in Python) in a colour of their own,
  // values beyond the range in under's and over's.
  std::vector<float> z4_nan = z4;
  for (const int k : {3, 7, 12}) z4_nan[k] = NAN;
  const maparg::Colour magenta{1, 0, 1}, grey{0.5, 0.5, 0.5}, orange{1, 0.5, 0};
  mapps::ps_map(x4, y4, z4_nan, {.file = "nan_ps_map.png", .device = "png", .palette = "viridis",
                                 .zmin = 1.5, .zmax = 4, .nan_colour = magenta, .under = grey,
                                 .over = orange});
  mapscreen::scr_map_r4(x4, y4, z4_nan, {.own_window = -1, .palette = "viridis", .zmin = 1.5,
                                         .zmax = 4, .nan_colour = magenta, .under = grey,
                                         .over = orange});
  write_surface("nan_scr_map.rgb");

  // A range centred on a value, a wedge label and the page options.
  mapps::ps_map(x4, y4, z4, {.file = "page_ps_map.png", .device = "png", .palette = "coolwarm",
                             .zcentre = 2, .zlabel = "T / K", .aspect = "auto",
                             .pixels = std::array<std::int64_t, 2>{640, 320}});
  z8_copy = z8;
  mapscreen::scr_map(x8, y8, z8_copy,
                     {.own_window = -1, .palette = "RdBu", .zcentre = 0, .zlabel = "Δ T"});
  write_surface("centre_scr_map.rgb");

  driver::ZoomGrid grid;
  driver::fill_frame(1, grid, driver::Kernel::reference);
  driver::hand_off_frame(grid, 0);
  write_binary("zoom1_z.bin", grid.z_data(), driver::kPointCount);
  write_surface("zoom1.rgb");
  for (int k : {175, 350}) {
    driver::fill_frame(k, grid, driver::Kernel::reference);
    write_binary("zoom" + std::to_string(k) + "_z.bin", grid.z_data(), driver::kPointCount);
  }
  return 0;
}
