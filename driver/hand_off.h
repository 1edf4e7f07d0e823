#pragma once
// The hand-off of a finished frame to the screen map.

#include "driver/zoom.h"

namespace driver {

// Shows the frame in `grid` (x, y and z, all complete). `first_call_flag` is 0
// on the first frame, so that the map opens and frames its window, and -1 on
// every later frame, so that it repaints in place.
void hand_off_frame(const ZoomGrid& grid, int first_call_flag);

}  // namespace driver
