#pragma once
// The colour keywords of the Fortran map routines as the C++ options take
// them: palette (a text), or the four arrays PGCTAB takes (levels, red,
// green, blue), and zmin, zmax of the kind of x. Each arrives as its
// routine's bind(C) interface passes it: a null pointer (or a length of -1
// for the text) when absent.
//
// The arrays, when any of them is given, make the palette: all four of one
// size give its control points, any other choice an empty list, which the
// map refuses with its warning (grey used). Without them the text names the
// palette.

#include <ISO_Fortran_binding.h>

#include <cstddef>
#include <vector>

#include "fortran/descriptors.h"
#include "maparg/palette.h"

namespace fortran_binding {

class ColourArguments {
 public:
  template <class P>
  ColourArguments(const char* palette, std::ptrdiff_t npalette, const CFI_cdesc_t* levels,
                  const CFI_cdesc_t* red, const CFI_cdesc_t* green, const CFI_cdesc_t* blue,
                  const P* zmin, const P* zmax) {
    if (levels || red || green || blue) {
      if (levels && red && green && blue) points_from(levels, red, green, blue);
      colours_.palette = std::span<const maparg::PalettePoint>(points_);
    } else if (const maparg::OptText name = optional_text(palette, npalette)) {
      colours_.palette = *name;
    }
    if (zmin) colours_.zmin = *zmin;
    if (zmax) colours_.zmax = *zmax;
  }
  ColourArguments(const ColourArguments&) = delete;
  ColourArguments& operator=(const ColourArguments&) = delete;

  const maparg::MapColours& colours() const { return colours_; }

 private:
  void points_from(const CFI_cdesc_t* levels, const CFI_cdesc_t* red, const CFI_cdesc_t* green,
                   const CFI_cdesc_t* blue) {
    const VectorArgument<float> l(levels), r(red), g(green), b(blue);
    const maparg::Index n = l.view().size();
    if (r.view().size() != n || g.view().size() != n || b.view().size() != n) return;
    for (maparg::Index k = 0; k < n; ++k)
      points_.push_back({l.view().element(k), r.view().element(k), g.view().element(k),
                         b.view().element(k)});
  }

  std::vector<maparg::PalettePoint> points_;
  maparg::MapColours colours_;
};

}  // namespace fortran_binding
