#include "maparg/contour.h"

#include "maparg/request.h"
#include "rtl/checked_math.h"

namespace maparg {

std::vector<double> contour_levels(const OptContours& asked, bool log, double lo, double hi) {
  std::vector<double> levels;
  if (!asked) return levels;
  if (const std::int64_t* count = std::get_if<std::int64_t>(&*asked)) {
    if (*count < 1 || *count > kMostContourLevels || !usable_range(lo, hi)) {
      console_line(kContoursWarning);
      return levels;
    }
    const auto n = static_cast<double>(*count);
    for (std::int64_t k = 1; k <= *count; ++k)
      levels.push_back(lo + (hi - lo) * (static_cast<double>(k) / (n + 1)));
    return levels;
  }
  const std::span<const double> given = std::get<std::span<const double>>(*asked);
  bool usable = !given.empty();
  for (const double c : given) usable = usable && std::isfinite(c);
  if (!usable) {
    console_line(kContoursWarning);
    return levels;
  }
  for (const double c : given) levels.push_back(log ? rtl::checked_log10(c) : c);
  return levels;
}

}  // namespace maparg
