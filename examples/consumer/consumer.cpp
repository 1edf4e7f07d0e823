// Ten lines against the installed package: a PostScript map and a data file.
#include <mapplot.h>

int main() {
  const float x[] = {0, 1, 2}, y[] = {0, 1};
  const float z[] = {0, 1, 2, 3, 4, 5};
  mapps::ps_map(x, y, z);  // Map.ps
  const double xd[] = {0, 1, 2}, yd[] = {0, 1};
  const double zd[2][3] = {{0, 1, 2}, {3, 4, 5}};
  mapdata::dat_map_2d_r8(xd, yd, zd);  // Map.dat
}
