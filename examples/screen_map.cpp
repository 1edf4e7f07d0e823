// Shows a z(x, y) of its own in a window: a ripple that spreads over 60
// frames, painted in place in one window of its own.
#include <cmath>
#include <vector>

#include "gfxwin/runtime.h"
#include "mapscreen/screen_map.h"

int ripple() {
  const int n = 101;
  std::vector<float> x(n), y(n), z(n * n);  // flat z, x index fastest
  for (int i = 0; i < n; ++i) x[i] = y[i] = -5.0f + 10.0f * static_cast<float>(i) / (n - 1);
  for (int frame = 0; frame < 60; ++frame) {
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i)
        z[i + n * j] = std::cos(std::hypot(x[i], y[j]) * 2 - static_cast<float>(frame) * 0.2f);
    // First frame: open the window (own window -1, continuation 0);
    // later frames repaint it (continuation -1). z itself is never changed.
    mapscreen::scr_map_r4(x, y, z, {.title = "Ripple", .size = 2, .own_window = -1,
                                    .continuation = frame == 0 ? 0 : -1});
  }
  return 0;
}

int main(int argc, char** argv) { return gfxwin::run_program(argc, argv, "ripple", ripple); }
