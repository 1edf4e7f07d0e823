#include "driver/hand_off.h"

#include <cstdlib>

#include "mapscreen/screen_map.h"

namespace driver {

// Log option omitted (linear scale), the smallest area, a window of the
// map's own, and the first-call flag as the continuation flag. With
// MAPPLOT_RECORD set to a file name, the first call records the window's
// film into it (every frame of the zoom).
void hand_off_frame(const ZoomGrid& grid, int first_call_flag) {
  mapscreen::ScreenMapOptions o{std::nullopt, "Re(c)", "Im(c)", "Mandelbrot set", 1, -1,
                                first_call_flag};
  if (const char* film = std::getenv("MAPPLOT_RECORD"); film != nullptr && *film != '\0')
    o.record = film;
  mapscreen::scr_map_2d(grid.x_view(), grid.y_view(), grid.z_view(), o);
}

}  // namespace driver
