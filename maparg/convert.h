#pragma once
// Conversions between the argument forms of the renderings: widening,
// narrowing and packing into flat vectors, first index fastest.

#include <cmath>
#include <limits>
#include <type_traits>
#include <vector>

#include "maparg/views.h"

namespace maparg {

// Double to single precision, rounded to nearest; a finite value beyond the
// single-precision range becomes an infinite value of its sign.
inline float narrow(double v) {
  // Halfway between the largest float and 2^128: from here on, rounding
  // to nearest (even) gives infinity.
  constexpr double kOverflow = 0x1.ffffffp127;
  if (std::isfinite(v) && std::fabs(v) >= kOverflow)
    return v > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
  return static_cast<float>(v);
}

template <class To, class From>
To convert_value(From v) {
  if constexpr (std::is_same_v<To, float> && std::is_same_v<From, double>)
    return narrow(v);
  else
    return static_cast<To>(v);
}

// The vector's elements in storage order, converted value by value.
template <class To, class From>
std::vector<To> to_vector(const VecView<From>& v) {
  std::vector<To> out(static_cast<std::size_t>(v.size()));
  for (Index k = 0; k < v.size(); ++k) out[static_cast<std::size_t>(k)] = convert_value<To>(v.element(k));
  return out;
}

// The matrix packed into a vector, element (i, j) (from 1) at (j - 1) * extent1 + i,
// converted value by value.
template <class To, class From>
std::vector<To> pack(const MatView<From>& m) {
  std::vector<To> out(static_cast<std::size_t>(m.size()));
  std::size_t k = 0;
  for (Index j = 0; j < m.extent2(); ++j)
    for (Index i = 0; i < m.extent1(); ++i) out[k++] = convert_value<To>(m.element(i, j));
  return out;
}

// A view of a vector's elements as type T: the caller's own storage when it is
// already of that type and contiguous, else a converted copy held in `copy`.
template <class T, class From>
VecView<T> as_contiguous(const VecView<From>& v, std::vector<T>& copy) {
  if constexpr (std::is_same_v<T, From>) {
    if (v.contiguous()) return VecView<T>(v.data(), v.size());
  }
  copy = to_vector<T>(v);
  return VecView<T>(copy);
}

}  // namespace maparg
