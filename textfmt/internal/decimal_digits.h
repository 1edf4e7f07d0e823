#pragma once
// Test access to the decimal digits behind the real fields.

#include <string>

namespace textfmt::internal {

// |value| correctly rounded to r significant digits, as "ddd…e<M>" with
// |value| ~ 0.ddd… * 10^M; through exact integer arithmetic or through the
// library conversion. "no exact path" when the integer path cannot take it.
std::string decimal_digits(float value, int r, bool exact_integer_path);

}  // namespace textfmt::internal
