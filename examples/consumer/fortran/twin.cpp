// The calls of app.f90 from C++ on the same values: the files they write
// must be the same, byte for byte.
#include <mapplot.h>

int main() {
  float x[9], y[5], z[5][9];  // z(i, j) of app.f90 at z[j + 2][i]
  for (int i = 0; i <= 8; ++i) x[i] = 0.5f * static_cast<float>(i);
  for (int j = -2; j <= 2; ++j) {
    y[j + 2] = static_cast<float>(j);
    for (int i = 0; i <= 8; ++i) z[j + 2][i] = static_cast<float>(i * i - 3 * j);
  }
  double xd[10], yd[6], zd[60];
  for (int i = 1; i <= 10; ++i) xd[i - 1] = i;
  for (int i = 1; i <= 6; ++i) yd[i - 1] = -i;
  for (int i = 1; i <= 60; ++i) zd[i - 1] = 0.25 * i;

  using maparg::MatView;
  using maparg::VecView;
  mapps::ps_map_2d(VecView<float>(x, 5, 2), y, MatView<float>(&z[0][0], 5, 5, 2, 9),
                   {.title = "Spectrum", .file = "out.ps", .device = "png"});
  mapdata::dat_map_r8(VecView<double>(xd + 9, 5, -2), VecView<double>(yd, 3, 2),
                      VecView<double>(zd, 15, 4));
}
