#pragma once
// What the renderings do alike with the options of a call before they draw
// or write: each done once, here.
//   - warning lines on the console;
//   - the colour table and the caller's limits, resolved (palette.h);
//   - log10 of the values under the log option, into the routine's own copy;
//   - whether coordinates are finite.

#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "maparg/palette.h"
#include "maparg/views.h"

namespace maparg {

// A console record: `text`, then `more` directly after it (no blank between),
// as a list-directed record (its leading blank added).
void console_line(std::string_view text, std::string_view more = {});

// The colour table of a call's palette: grey, after the warning line, for
// one that cannot be used (palette.h). An unknown name is quoted as
// rtl::quoted_excerpt gives it: at most 200 bytes, then "…".
ColourTable colour_request(const OptPalette& palette);

// The colours of the cells the colour table does not give, as the options
// nan_colour, under and over ask (palette.h), each when given and usable:
// three intensities, each within 0 .. 1. One that is not gives a warning
// line and stays absent (the default):
//   " Warning: nan_colour must be three intensities within 0 .. 1: black used !!!"
//   " Warning: under must be three intensities within 0 .. 1: the end colours used !!!"
//   (and likewise for over), in the order nan_colour, under, over.
struct CellColours {
  OptColour nan;    // absent: black
  OptColour under;  // absent: the table's first colour
  OptColour over;   // absent: the table's last colour
};
CellColours cell_colours_request(const OptColour& nan, const OptColour& under,
                                 const OptColour& over);

// The colour of the contour lines, when given and usable; one that is not
// writes " Warning: contour_colour must be three intensities within 0 .. 1:
// the frame's colour used !!!" (one line) and stays absent (the frame's colour).
OptColour contour_colour_request(const OptColour& c);

// Whether every intensity of `c` is within 0 .. 1 (none is NaN).
bool usable_colour(const Colour& c);

// A colour as a 24-bit RGB value, red in the lowest byte, each intensity times
// 255 rounded to the nearest integer, halves up (as level_colours gives them).
std::int32_t rgb24(const Colour& c);

// A limit zmin or zmax as a value of the map, when given: in precision T,
// under the log option the log10 of the caller's double (a limit of zero or
// below is the log option's fatal error).
template <class T>
std::optional<T> map_limit(OptReal given, bool log);

// The data's range lo .. hi made the smallest one symmetric around `centre`
// (zcentre as a value of the map, see map_limit) that holds it, when a
// centre is given. A centre that is not finite, or a symmetric range beyond
// precision T, writes kCentreWarning and leaves lo .. hi as they are.
template <class T>
void centre_range(std::optional<T> centre, T& lo, T& hi);

// log10 of every value, checked (rtl/checked_math.h), into a copy of the
// routine's own: every value is taken before anything is drawn or written,
// so a value without a logarithm leaves every earlier file untouched. Long
// work: rtl::check_interruption_at_value.
template <class T>
std::vector<T> checked_logs(const VecView<T>& values);

// Whether every value is finite.
template <class T>
bool all_finite(const VecView<T>& values) {
  for (Index k = 0; k < values.size(); ++k)
    if (!std::isfinite(values.element(k))) return false;
  return true;
}

}  // namespace maparg
