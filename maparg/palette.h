#pragma once
// Colour tables and a value range of the caller's own, for both maps.
//
// A colour table is a list of control points as PGPLOT's PGCTAB takes them:
// a level from 0 to 1 along the table and a red, green and blue intensity
// from 0 to 1 each, linearly interpolated between neighbouring points; a
// position below the first level has the first point's colour, one at or
// above the last level the last point's. The PostScript map hands the table
// to PGCTAB unchanged; the screen map evaluates it here (level_colours), so
// both maps show the same colours.
//
// Built in by name, in either case, each also reversed by a "_r" suffix:
//   grey     black to white (the default: the maps as they are without colour)
//   heat     black, red, yellow, white
//   rainbow  violet, blue, cyan, green, yellow, red
//   viridis, magma, cividis   the perceptually uniform tables, sampled at
//            nine evenly spaced levels (cividis stays readable with
//            red-green colour blindness)
//
// A palette that cannot be used (an unknown name; points fewer than two,
// levels not strictly increasing within 0 .. 1, intensities outside 0 .. 1,
// or any of them not a number) gives the grey table and a warning line for
// the map to write on the console.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "maparg/contour.h"

namespace maparg {

// One control point: level along the table, then red, green, blue.
struct PalettePoint {
  float level;
  float red;
  float green;
  float blue;
};

// A palette by name ("viridis", "Magma_r" ...) or as control points.
using Palette = std::variant<std::string_view, std::span<const PalettePoint>>;
using OptPalette = std::optional<Palette>;
using OptReal = std::optional<double>;
// A colour: red, green and blue intensities, 0 .. 1 each.
using Colour = std::array<double, 3>;
using OptColour = std::optional<Colour>;

// The named options both maps take, as the last members of their options
// structs (mapscreen::ScreenMapOptions, mapps::PsMapOptions), listed once: an
// option both maps take is added here, after the others, so that the
// designated initializers callers write keep their order.
//   palette  the colour table; absent: grey
//   zmin     the value drawn in the table's first colour; absent: the data's lowest
//   zmax     the value drawn in the table's last colour; absent: the data's highest
//   nan_colour  the colour of cells whose value is not a number; absent: black
//   under    the colour of values below zmin; absent: the table's first colour
//   over     the colour of values above zmax; absent: the table's last colour
//   zcentre  without zmin and zmax: the range is the smallest symmetric one
//            around this value that holds every finite value (kCentreWarning
//            and the data's range for one that is not finite)
//   zlabel   a text beside the wedge (PostScript map), under the z lines of
//            the text column (screen map); absent: none
//   contours lines of equal value over the map: a count of evenly spaced
//            levels inside the range of the colours, or the levels (see
//            maparg/contour.h); absent: none
//   contour_colour  their colour; absent: the frame's
//   contour_labels  lowest bit set: each line numbered with its level along
//            it (PostScript map); absent: no numbers
// Values beyond them take the end colours (or under and over). With the log
// option their log10 is taken (zcentre's too). A range whose low end is not
// below its high end, or an end that is not finite, gives the warning
// kRangeWarning and the data's own range; under and over then colour no cell
// (none is beyond the data's range). A colour with an intensity outside
// 0 .. 1 or not a number gives a warning line and the default (see
// maparg/request.h).
#define MAPARG_OPTIONS_OF_BOTH_MAPS                   \
  ::maparg::OptPalette palette = std::nullopt;        \
  ::maparg::OptReal zmin = std::nullopt;              \
  ::maparg::OptReal zmax = std::nullopt;              \
  ::maparg::OptColour nan_colour = std::nullopt;      \
  ::maparg::OptColour under = std::nullopt;           \
  ::maparg::OptColour over = std::nullopt;            \
  ::maparg::OptReal zcentre = std::nullopt;           \
  std::optional<std::string_view> zlabel = std::nullopt; \
  ::maparg::OptContours contours = std::nullopt;      \
  ::maparg::OptColour contour_colour = std::nullopt;  \
  std::optional<int> contour_labels = std::nullopt;

inline constexpr std::string_view kRangeWarning =
    " Warning: zmin must be below zmax, both finite: the data's range used !!!";
inline constexpr std::string_view kCentreWarning =
    " Warning: zcentre must be finite: the data's range used !!!";

// A table as PGCTAB's four arrays.
struct ColourTable {
  std::vector<float> level;
  std::vector<float> red;
  std::vector<float> green;
  std::vector<float> blue;
  int size() const { return static_cast<int>(level.size()); }
};

// Black to white in two points: PGCTAB's grey ramp.
ColourTable grey_table();

// The table of `palette` (grey when absent). When it cannot be used, the
// grey table, and `warning` holds the line to write:
//   " Warning: unknown palette <name>, grey used !!!"
//   " Warning: palette points invalid (two or more, levels increasing
//     within 0 .. 1, intensities within 0 .. 1), grey used !!!"  (one line)
// otherwise `warning` is left empty.
ColourTable colour_table(const OptPalette& palette, std::string& warning);

// The names of the built-in tables, without the "_r" forms.
std::span<const std::string_view> palette_names();

// Red, green and blue (0 .. 1 each) at `position` along the table.
std::array<double, 3> colour_at(const ColourTable& table, double position);

// The colour of each level 0 .. 255 of the screen map as a 24-bit RGB value
// (red in the lowest byte): the table at level / 255, each intensity times
// 255 rounded to the nearest integer, halves up. The grey table gives
// level * 65793 for every level.
std::array<std::int32_t, 256> level_colours(const ColourTable& table);

// Whether [lo, hi] can serve as the range of the colours: both finite, lo below hi.
bool usable_range(double lo, double hi);

}  // namespace maparg
