#pragma once
// Number fields: integers and reals written into fixed-width columns.
//
// A value that does not fit its field is written as a field of asterisks;
// nothing here reports an error. Decimal digits are the correctly rounded
// digits of the binary value (ties to even), independent of the C locale and
// of the floating-point rounding mode.
//
// Every int argument is accepted, from INT_MIN to INT_MAX: a field is exactly
// w characters, w < 1 gives none (an empty text; the _to forms write
// nothing), and whatever the other arguments ask for is either written in
// full or the field is asterisks. No width is too large: the field is
// written as wide as asked (w = INT_MAX is 2 GiB of text), so w is also the
// memory a field takes.

#include <cstddef>
#include <cstdint>
#include <string>

namespace textfmt {

// Integer field of width w with at least m digits (m <= 0: not given).
//   format_integer(121, 12, 1) == "         121"
//   format_integer(0, 4, 0)    == "    "          (no digit at all)
//   format_integer(12345, 4, 0) == "****"
//   format_integer(5, 4, 1000)  == "****"          (m digits do not fit)
std::string format_integer(std::int32_t value, int w, int m);

// General real field: width w, d digits, e exponent digits (e <= 0: not
// given), scale factor k. list_mode selects the list-directed treatment of
// zero. The fixed form is chosen from |x| rounded to 9 (single) or 17
// (double) significant digits, d + 2 when d is larger; the digits written are
// then rounded from the exact binary value, and digits past its exact
// decimal expansion are 0. The exponent form needs a scale factor with at
// least one significant digit (1 - d <= k <= d + 1); the fixed form ignores
// k. A finite value with d < 0 (or a zero with d < 1), a scale factor
// outside those bounds in the exponent form, an exponent longer than e
// digits and any field too narrow are all asterisks. NaN and infinity are
// written whatever d, e and k.
//   format_general(1.0f, 15, 7, 2, 1, true) == "   1.000000    "
//   format_general(999.6, 9, 3, 0, 0, false) == "0.100E+04"
//   format_general(1.0e-200, 9, 3, 0, 0, false) == "0.100-199"
//   format_general(999.6, 9, INT_MAX, 0, 0, false) == "*********"
std::string format_general(float value, int w, int d, int e, int k, bool list_mode);
std::string format_general(double value, int w, int d, int e, int k, bool list_mode);

// The same fields written into out[0 .. w) without allocating; nothing is
// written beyond them, and nothing at all when w < 1.
// Requires: out has room for w characters when w >= 1.
void format_integer_to(char* out, std::int32_t value, int w, int m);
void format_general_to(char* out, float value, int w, int d, int e, int k, bool list_mode);
void format_general_to(char* out, double value, int w, int d, int e, int k, bool list_mode);

// The fields of list-directed output.
inline constexpr int kListIntegerWidth = 12;
inline constexpr int kListRealWidth = 15;

}  // namespace textfmt
