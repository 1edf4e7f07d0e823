#pragma once
// Formatted writes into a text variable.
//
// Two formats are understood: "(i4)", an integer field of width 4, and
// "(gW.D)" (either case), a general real field of width W with D digits,
// exponent width not given, scale factor 0. The field is placed from column 1
// of the 80-character target; the remaining columns are blank.
//   write_formatted(t, "(g9.3)", 0.5)  -> t == "0.500    " + 71 blanks
//   write_formatted(t, "(i4)", 22)     -> t == "  22" + 76 blanks
// A format text that is neither, or whose width or digit count has more than
// four digits, or whose field is wider than the target, fills the target
// with asterisks.

#include <cstdint>
#include <string>
#include <string_view>

namespace textfmt {

void write_formatted(std::string& target, std::string_view format, std::int32_t value);
void write_formatted(std::string& target, std::string_view format, double value);

}  // namespace textfmt
