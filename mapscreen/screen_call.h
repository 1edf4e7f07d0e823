#pragma once
// The base routine of the screen map as its argument forms call it.

#include <span>

#include "mapscreen/screen_map.h"

namespace mapscreen {

// scr_map, told whether the caller's numbers were floats that the form
// widened: the values under the cursor are then written as floats.
void scr_map_of_form(VecView<double> x, VecView<double> y, std::span<double> z,
                     const ScreenMapOptions& o, bool single_precision);

}  // namespace mapscreen
