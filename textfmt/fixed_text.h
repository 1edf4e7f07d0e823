#pragma once
// Fixed-length texts: the 80-character fields that every map routine carries.
//
// Trailing blanks are never significant: two texts compare equal when the
// shorter one, padded with blanks, equals the longer one.

#include <cstddef>
#include <string>
#include <string_view>

namespace textfmt {

// Length of every text field of the system.
inline constexpr std::size_t kFieldLength = 80;

// Assignment to a fixed-length variable: pads with blanks on the right or
// keeps the first `length` characters. Any length is taken as asked (0 gives
// an empty text); the result holds that many characters.
std::string assign_fixed(std::string_view text, std::size_t length = kFieldLength);

// A field that is never cut: the text padded with blanks to `length`
// characters, a longer text kept whole (file names, device types).
std::string pad_fixed(std::string_view text, std::size_t length = kFieldLength);

// The text with its leading blanks removed and as many blanks appended
// (same length).
std::string adjust_left(std::string_view text);

// The text without its trailing blanks (an all-blank text becomes empty).
std::string_view trim(std::string_view text);

// The text without its leading and trailing blanks: trim(adjust_left(text)).
std::string_view strip(std::string_view text);

// The text without its leading blanks.
std::string_view drop_leading_blanks(std::string_view text);

// Equality with blank padding of the shorter text.
bool texts_equal(std::string_view a, std::string_view b);

// Equality of texts of the same length, the case of ASCII letters ignored
// (device types, unit names).
bool same_ignoring_case(std::string_view a, std::string_view b);

}  // namespace textfmt
