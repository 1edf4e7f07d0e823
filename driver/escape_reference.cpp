#include <cmath>

#include "driver/escape.h"

namespace driver {

float escape_value_reference(float cre, float cim, int limit) {
  float re = 0.0f;
  float im = 0.0f;
  float z = 0.0f;
  for (long long n = -2; n <= static_cast<long long>(limit) + 1; ++n) {
    const float modulus = static_cast<float>(
        std::sqrt(static_cast<double>(re) * re + static_cast<double>(im) * im));
    if (!(modulus < 256.0f)) break;  // also leaves when the modulus is not a number
    z = static_cast<float>(n);
    const float next_re = static_cast<float>(
        (static_cast<double>(re) - im) * (static_cast<double>(re) + im) + cre);
    const float next_im = static_cast<float>(2.0 * re * im + cim);
    re = next_re;
    im = next_im;
  }
  return z;
}

}  // namespace driver
