#include "maparg/request.h"

#include <algorithm>

#include <cmath>
#include <string>

#include "maparg/convert.h"
#include "rtl/checked_math.h"
#include "rtl/console.h"
#include "rtl/fatal.h"
#include "textfmt/fixed_text.h"
#include "textfmt/list_record.h"

namespace maparg {

void console_line(std::string_view text, std::string_view more) {
  auto& out = rtl::console();
  textfmt::begin_record(out);
  textfmt::put_text(out, text);
  if (!more.empty()) textfmt::put_text(out, more);
  textfmt::end_record(out);
}

ColourTable colour_request(const OptPalette& palette) {
  std::string warning;
  // A name longer than any palette's is unknown: the warning quotes it cut
  // (rtl::quoted_excerpt), so that a huge name gives no huge line.
  std::string cut;
  OptPalette asked = palette;
  if (palette) {
    if (const auto* name = std::get_if<std::string_view>(&*palette)) {
      const std::string_view stripped = textfmt::strip(*name);
      if (stripped.size() > rtl::kQuotedTextLimit) {
        cut = rtl::quoted_excerpt(stripped);
        asked = OptPalette(std::string_view(cut));
      }
    }
  }
  ColourTable table = colour_table(asked, warning);
  if (!warning.empty()) console_line(warning);
  return table;
}

bool usable_colour(const Colour& c) {
  for (const double v : c)
    if (!(v >= 0 && v <= 1)) return false;
  return true;
}

std::int32_t rgb24(const Colour& c) {
  const auto byte = [](double v) { return static_cast<std::int32_t>(std::floor(v * 255 + 0.5)); };
  return byte(c[0]) | byte(c[1]) << 8 | byte(c[2]) << 16;
}

CellColours cell_colours_request(const OptColour& nan, const OptColour& under,
                                 const OptColour& over) {
  const auto checked = [](const OptColour& c, std::string_view name, std::string_view fallback) {
    if (!c || usable_colour(*c)) return c;
    const std::string line = " Warning: " + std::string(name) +
                             " must be three intensities within 0 .. 1: " +
                             std::string(fallback) + " used !!!";
    console_line(line);
    return OptColour();
  };
  CellColours colours;
  colours.nan = checked(nan, "nan_colour", "black");
  colours.under = checked(under, "under", "the end colours");
  colours.over = checked(over, "over", "the end colours");
  return colours;
}

OptColour contour_colour_request(const OptColour& c) {
  if (!c || usable_colour(*c)) return c;
  console_line(
      " Warning: contour_colour must be three intensities within 0 .. 1: the frame's colour "
      "used !!!");
  return std::nullopt;
}

template <class T>
std::optional<T> map_limit(OptReal given, bool log) {
  if (!given) return std::nullopt;
  // The logarithm of the caller's double, then the map's precision: a
  // positive limit below the single-precision range keeps its logarithm.
  return log ? convert_value<T>(rtl::checked_log10(*given)) : convert_value<T>(*given);
}

template <class T>
std::vector<T> checked_logs(const VecView<T>& values) {
  std::vector<T> logs(static_cast<std::size_t>(values.size()));
  for (Index k = 0; k < values.size(); ++k) {
    rtl::check_interruption_at_value(k);
    logs[static_cast<std::size_t>(k)] = rtl::checked_log10(values.element(k));
  }
  return logs;
}

template <class T>
void centre_range(std::optional<T> centre, T& lo, T& hi) {
  if (!centre) return;
  const double c = *centre;
  const double half = std::max(static_cast<double>(hi) - c, c - static_cast<double>(lo));
  const T new_lo = convert_value<T>(c - half), new_hi = convert_value<T>(c + half);
  if (!std::isfinite(c) || !std::isfinite(new_lo) || !std::isfinite(new_hi)) {
    console_line(kCentreWarning);
    return;
  }
  lo = new_lo;
  hi = new_hi;
}

template void centre_range(std::optional<float>, float&, float&);
template void centre_range(std::optional<double>, double&, double&);
template std::optional<float> map_limit(OptReal, bool);
template std::optional<double> map_limit(OptReal, bool);
template std::vector<float> checked_logs(const VecView<float>&);
template std::vector<double> checked_logs(const VecView<double>&);

}  // namespace maparg
