#pragma once
// The PostScript map of a field whose values are held elsewhere (spread over
// processes): for internal callers, not an option of ps_map. On a device of
// pixels the map takes only the cells its pixels show, through a source
// asked once; the file is the one ps_map makes of the whole field.

#include <cstddef>
#include <functional>
#include <vector>

#include "mapps/ps_map.h"

namespace mapps::detail {

struct SampledField {
  maparg::Index nx = 0, ny = 0;
  // The range of the field's finite values; any_finite false when it has none.
  float lo = 0, hi = 0;
  bool any_finite = false;
  // The values of cells (columns[k], rows[l]) (from 0), columns fastest: as
  // they are, before the map's range is applied. Asked at most once.
  std::function<std::vector<float>(const std::vector<std::size_t>& columns,
                                   const std::vector<std::size_t>& rows)>
      cells;
};

// Whether ps_map_sampled draws the map of `x`, `y` and these options byte for
// byte as ps_map draws it of the whole field: a PNG device (png, tpng), no
// page, and nothing that reads every cell (log, contours, nan, under and over
// colours, unevenly spaced coordinates).
bool samples_cells(VecView<float> x, VecView<float> y, const PsMapOptions& o);

// ps_map of the field: x and y its coordinates (nx and ny of them).
PsMapResult ps_map_sampled(VecView<float> x, VecView<float> y, const SampledField& field,
                           const PsMapOptions& o);

}  // namespace mapps::detail
