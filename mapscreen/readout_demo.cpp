// readout_demo: a screen map of known values in a window of its own, for
// the real-window test of the values under the cursor. Four columns
// x = 0.1 .. 0.4 and three rows y = 10, 20, 30; z(i, j) = 1 / (k + 1) for
// k = (j - 1) * 4 + i - 1, so each cell reads differently.

#include <vector>

#include "gfxwin/runtime.h"
#include "mapscreen/screen_map.h"
#include "rtl/console.h"

namespace {

int show_known_values() {
  const std::vector<double> x = {0.1, 0.2, 0.3, 0.4};
  const std::vector<double> y = {10, 20, 30};
  std::vector<double> z(12);
  for (std::size_t k = 0; k < z.size(); ++k) z[k] = 1.0 / static_cast<double>(k + 1);
  mapscreen::scr_map(x, y, z, {.title = "Known values", .size = 1, .own_window = -1});
  rtl::console_write_line(" readout demo: drawn");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return gfxwin::run_program(argc, argv, "readout_demo", show_known_values);
}
