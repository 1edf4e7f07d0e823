#pragma once
// What a screen map hands its window with the picture, so that the window
// can show the values of the cell under the cursor (gfxwin/map_values.h).

#include <memory>
#include <span>
#include <vector>

#include "gfxwin/map_values.h"
#include "maparg/views.h"

namespace mapscreen {

// The values of the cells painted last somewhere on the active window, for
// cells bounded by x(1), a(1 .. nx) across and y(1), b(1 .. ny) up (the
// edges the cells are painted with) and z as the caller gave it, in single
// precision when `single_precision` (the caller's numbers were floats,
// widened by the argument forms: the readout writes them as such).
// Requires: the window coordinates of the map set; z holds nx * ny values.
std::shared_ptr<gfxwin::MapValues> painted_values(const maparg::VecView<double>& x,
                                                  const maparg::VecView<double>& y,
                                                  std::span<const double> z,
                                                  const std::vector<double>& a,
                                                  const std::vector<double>& b, bool log,
                                                  bool single_precision);

}  // namespace mapscreen
