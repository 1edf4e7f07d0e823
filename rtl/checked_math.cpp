#include "rtl/checked_math.h"

#include <cmath>

#include "rtl/fatal.h"

namespace rtl {

double checked_log10(double value) {
  if (value == 0.0) fatal_error("log10: SING error");
  if (value < 0.0) fatal_error("log10: DOMAIN error");
  return std::log10(value);
}

float checked_log10(float value) {
  return static_cast<float>(checked_log10(static_cast<double>(value)));
}

}  // namespace rtl
