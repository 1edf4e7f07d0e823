#include "driver/hand_off.h"

#include "mapscreen/screen_map.h"

namespace driver {

// Log option omitted (linear scale), the smallest area, a window of the
// map's own, and the first-call flag as the continuation flag.
void hand_off_frame(const ZoomGrid& grid, int first_call_flag) {
  mapscreen::scr_map_2d(grid.x_view(), grid.y_view(), grid.z_view(), std::nullopt, "Re(c)",
                        "Im(c)", "Mandelbrot set", 1, -1, first_call_flag);
}

}  // namespace driver
