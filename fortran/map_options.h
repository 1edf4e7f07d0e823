#pragma once
// The named options both maps take from Fortran (the keywords after stat
// and errmsg), as the one argument each of their C entry points receives
// last: the bind(C) type map_options of mapplot_internal.f90, laid out
// member for member as MapOptionArguments here. The module's routines fill
// it with where each option lies in the caller's storage, nothing copied: a
// text as its characters and length, a vector as the addresses of its first
// two elements, its size and its elements' kind (their bytes: 4 or 8), a
// real as a vector of one; an absent option as a null address, a length or
// size of -1. MapOptions reads them into the
// options struct of either map (mapscreen::ScreenMapOptions,
// mapps::PsMapOptions), for as long as the call lasts.
//
// The options: palette (a text: a table by name), or the four arrays PGCTAB
// takes (levels, red, green, blue), zmin, zmax, nan_colour, under, over
// (red, green, blue; one not of three elements is unusable: a warning and
// the default), zcentre, each of reals of kind 4 or 8 (float or double)
// whatever the kind of x, zlabel, the PostScript map's aspect and pixels
// (integers of kind 4 or 8: width, height), and the screen map's record (a
// film's file) and fps (a real). The
// arrays, when any of them is given, make the palette: all four of one size
// give its control points; any other choice is grey, after a warning naming
// the four lengths. Without them the text names the palette.
//
// Another option of both maps: its member in type(map_options) and here, at
// the same place in both, and the line of MapOptions::into that sets it.

#include <cmath>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fortran/descriptors.h"
#include "maparg/palette.h"
#include "maparg/request.h"

namespace mapps {
class Page;
}

namespace fortran_binding {

// type(text_option): the characters and the length; -1 when absent, and no
// address when empty.
struct TextOption {
  const char* chars;
  std::ptrdiff_t length;
};

// type(vector_option): the addresses of the first and second elements (null
// where there is none), the size (-1 when absent) and the bytes of an
// element: 4 (float, int) or 8 (double, std::int64_t).
struct VectorOption {
  const void* first;
  const void* second;
  std::ptrdiff_t size;
  int kind;
};

// type(map_options), member for member.
struct MapOptionArguments {
  TextOption palette;
  VectorOption levels, red, green, blue;
  VectorOption zmin, zmax;  // a real each, as a vector of one
  VectorOption nan_colour, under, over;  // reals: red, green, blue
  VectorOption zcentre;  // a real, as a vector of one
  TextOption zlabel, aspect;
  VectorOption pixels;  // integers: width, height
  TextOption record;    // the screen map's film
  VectorOption fps;     // a real, as a vector of one
  VectorOption contours, ncontours;  // levels (reals), or a count (an integer as a vector of one)
  VectorOption contour_colour;       // reals: red, green, blue
  int contour_labels;                // a truth value, 0 when absent
  void* page;                        // the mapps::Page of a PostScript map, or null
};

// The named options of a call whose x is of P (the options' own kinds come
// with them), kept for the maps' options structs: into() sets them in either.
template <class P>
class MapOptions {
 public:
  explicit MapOptions(const MapOptionArguments& a) : a_(a) {
    if (given(a.contours)) levels_ = elements(a.contours);
    if (given(a.levels) || given(a.red) || given(a.green) || given(a.blue)) {
      if (one_length(a)) {
        points_from_arrays();
        palette_ = std::span<const maparg::PalettePoint>(points_);
      } else {
        maparg::console_line(lengths_warning(a));
      }
    } else if (const maparg::OptText name = text(a.palette)) {
      palette_ = *name;
    }
  }
  MapOptions(const MapOptions&) = delete;
  MapOptions& operator=(const MapOptions&) = delete;

  // `o` with the named options as the call gave them (absent where it left
  // them out), its other members as they are.
  template <class Options>
  Options into(Options o) const {
    o.palette = palette_;
    o.zmin = real(a_.zmin);
    o.zmax = real(a_.zmax);
    o.nan_colour = colour(a_.nan_colour);
    o.under = colour(a_.under);
    o.over = colour(a_.over);
    o.zcentre = real(a_.zcentre);
    o.zlabel = text(a_.zlabel);
    if (given(a_.contours)) {
      o.contours = maparg::ContourLevels(std::span<const double>(levels_));
    } else if (given(a_.ncontours)) {
      o.contours = maparg::ContourLevels(static_cast<std::int64_t>(elements(a_.ncontours, true)[0]));
    }
    o.contour_colour = colour(a_.contour_colour);
    if (a_.contour_labels != 0) o.contour_labels = a_.contour_labels;
    if constexpr (requires { o.aspect; o.pixels; o.page; }) {  // the PostScript map's
      o.aspect = text(a_.aspect);
      o.pixels = pixels(a_.pixels);
      o.page = static_cast<mapps::Page*>(a_.page);
    }
    if constexpr (requires { o.record; o.fps; }) {  // the screen map's
      o.record = text(a_.record);
      o.fps = real(a_.fps);
    }
    return o;
  }

 private:
  static bool given(const VectorOption& v) { return v.size >= 0; }
  static bool one_length(const MapOptionArguments& a) {
    return given(a.levels) && a.red.size == a.levels.size && a.green.size == a.levels.size &&
           a.blue.size == a.levels.size;
  }
  // " Warning: palette arrays levels, red, green, blue need one length, not
  // 2, 3, 2, none; grey used !!!"
  static std::string lengths_warning(const MapOptionArguments& a) {
    std::string lengths;
    for (const VectorOption* v : {&a.levels, &a.red, &a.green, &a.blue})
      lengths += (lengths.empty() ? "" : ", ") + (given(*v) ? std::to_string(v->size) : "none");
    return " Warning: palette arrays levels, red, green, blue need one length, not " + lengths +
           "; grey used !!!";
  }
  static maparg::OptText text(const TextOption& t) { return optional_text(t.chars, t.length); }
  static maparg::OptReal real(const VectorOption& v) {
    if (!given(v)) return std::nullopt;
    if (v.kind == 8) return *static_cast<const double*>(v.first);
    return *static_cast<const float*>(v.first);
  }
  // The pixels option: width and height; another number of them is a size
  // no device takes (0 x 0), which the map warns of and leaves at its default.
  static std::optional<std::array<std::int64_t, 2>> pixels(const VectorOption& v) {
    if (!given(v)) return std::nullopt;
    if (v.size != 2) return std::array<std::int64_t, 2>{0, 0};
    const std::vector<double> p = elements(v, true);
    return std::array<std::int64_t, 2>{static_cast<std::int64_t>(p[0]),
                                       static_cast<std::int64_t>(p[1])};
  }
  // A colour option: its three intensities; one of another size is an
  // unusable colour (NaN), which the maps warn of and leave at its default.
  static maparg::OptColour colour(const VectorOption& v) {
    if (!given(v)) return std::nullopt;
    if (v.size != 3) return maparg::Colour{NAN, NAN, NAN};
    const std::vector<double> c = elements(v);
    return maparg::Colour{c[0], c[1], c[2]};
  }
  // The elements of a vector option of reals (float, double) or integers
  // (int, std::int64_t), as doubles: a few each, for the option's values.
  static std::vector<double> elements(const VectorOption& v, bool integers = false) {
    if (integers) {
      if (v.kind == 8) return elements_of<std::int64_t>(v);
      return elements_of<int>(v);
    }
    if (v.kind == 8) return elements_of<double>(v);
    return elements_of<float>(v);
  }
  template <class T>
  static std::vector<double> elements_of(const VectorOption& v) {
    const AddressedVector<T> a(v.first, v.second, v.size);
    std::vector<double> e;
    for (maparg::Index k = 0; k < a.view().size(); ++k)
      e.push_back(static_cast<double>(a.view().element(k)));
    return e;
  }

  void points_from_arrays() {
    const std::vector<double> l = elements(a_.levels), r = elements(a_.red),
                              g = elements(a_.green), b = elements(a_.blue);
    for (std::size_t k = 0; k < l.size(); ++k)
      points_.push_back({static_cast<float>(l[k]), static_cast<float>(r[k]),
                         static_cast<float>(g[k]), static_cast<float>(b[k])});
  }

  const MapOptionArguments& a_;
  std::vector<maparg::PalettePoint> points_;
  maparg::OptPalette palette_;
  std::vector<double> levels_;  // the contours' levels, as doubles
};

}  // namespace fortran_binding
