// The number fields: integer and general real fields with any value, width
// 0 .. 200 (the width is what the field allocates) and the other parameters
// over the whole int range.
//
// Invariants: the text is exactly max(w, 0) characters; the *_to forms write
// the same characters and nothing after them; an integer field is exactly
// the blanks, sign, leading zeros and digits its value needs, or asterisks
// when those do not fit; a real field is all asterisks, a special value at
// column 2, or blanks, sign, mantissa and exponent in the layout of its form,
// with the number of significant digits of that form, within half a unit of
// its last digit of the value; it is asterisks only when the field is too
// narrow for the parameters; the list-directed single-precision field reads
// back as the value rounded to the 7 (fixed form) or 8 (exponent form)
// digits it shows.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "textfmt/number_field.h"

namespace {

using fuzz::show;
using fuzz::show_text;

struct Params {
  int w, d, e, k;
  bool list_mode;
  std::string show() const {
    return "w=" + std::to_string(w) + " d=" + std::to_string(d) + " e=" + std::to_string(e) +
           " k=" + std::to_string(k) + (list_mode ? " list mode" : "");
  }
};

// Mostly small, sometimes anything.
int any_parameter(FuzzedDataProvider& in) {
  return in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(-3, 25) : in.ConsumeIntegral<int>();
}

constexpr char kGuard = 'Z';

// The field written by a *_to form into a buffer with guard bytes after it,
// which must stay untouched.
template <class Write>
std::string guarded(int w, Write write, const std::string& what) {
  const std::size_t n = w > 0 ? static_cast<std::size_t>(w) : 0;
  std::vector<char> buffer(n + 16, kGuard);
  write(buffer.data());
  for (std::size_t i = n; i < buffer.size(); ++i)
    FUZZ_CHECK(buffer[i] == kGuard, what + ": written beyond the field, at " + std::to_string(i));
  return std::string(buffer.data(), n);
}

bool all_asterisks(const std::string& s) { return s.find_first_not_of('*') == std::string::npos; }

void check_integer(std::int32_t value, int w, int m) {
  const std::string what = "format_integer(" + std::to_string(value) + ", " + std::to_string(w) +
                           ", " + std::to_string(m) + ")";
  fuzz::print_call(what);
  const std::string s = textfmt::format_integer(value, w, m);
  FUZZ_CHECK(s.size() == static_cast<std::size_t>(w > 0 ? w : 0), what + " = " + show_text(s));
  const std::string to = guarded(w, [&](char* out) { textfmt::format_integer_to(out, value, w, m); }, what);
  FUZZ_CHECK(to == s, what + ": " + show_text(s) + " but the _to form gives " + show_text(to));
  if (w <= 0) return;

  // Digits of |value| (none for zero), zeros up to m, the sign, right-justified.
  const long long magnitude = std::llabs(static_cast<long long>(value));
  const std::string digits = magnitude == 0 ? "" : std::to_string(magnitude);
  const long long count = m > static_cast<long long>(digits.size()) ? m : static_cast<long long>(digits.size());
  const long long length = count + (value < 0 ? 1 : 0);
  std::string expected;
  if (length > w) {
    expected.assign(static_cast<std::size_t>(w), '*');
  } else {
    expected.assign(static_cast<std::size_t>(w - length), ' ');
    if (value < 0) expected += '-';
    expected.append(static_cast<std::size_t>(count) - digits.size(), '0');
    expected += digits;
  }
  FUZZ_CHECK(s == expected, what + " = " + show_text(s) + ", expected " + show_text(expected));
}

// The parts of a number field.
struct Parsed {
  bool negative = false;
  std::string before;  // digits before the point
  std::string after;   // digits after it
  bool has_exponent = false;
  bool letter = false;          // "E" written
  std::string exponent_digits;  // without the sign
  long long exponent = 0;
  std::size_t trailing_blanks = 0;
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Blanks, an optional '-', digits, '.', digits, an optional exponent
// ("E+05", "E-123" or "+123"), blanks; false for anything else.
bool parse_field(const std::string& s, Parsed& p) {
  std::size_t at = s.find_first_not_of(' ');
  if (at == std::string::npos) return false;
  if (s[at] == '-') {
    p.negative = true;
    ++at;
  }
  while (at < s.size() && is_digit(s[at])) p.before += s[at++];
  if (at == s.size() || s[at] != '.') return false;
  ++at;
  while (at < s.size() && is_digit(s[at])) p.after += s[at++];
  if (at < s.size() && (s[at] == 'E' || s[at] == '+' || s[at] == '-')) {
    p.has_exponent = true;
    p.letter = s[at] == 'E';
    if (p.letter) ++at;
    if (at == s.size() || (s[at] != '+' && s[at] != '-')) return false;
    const bool minus = s[at++] == '-';
    while (at < s.size() && is_digit(s[at])) p.exponent_digits += s[at++];
    if (p.exponent_digits.empty()) return false;
    const std::size_t nonzero = p.exponent_digits.find_first_not_of('0');
    const std::string value = nonzero == std::string::npos ? "0" : p.exponent_digits.substr(nonzero);
    if (value.size() > 9) return false;  // beyond any exponent of a double
    p.exponent = std::stoll(value) * (minus ? -1 : 1);
  }
  const std::size_t end = at;
  while (at < s.size() && s[at] == ' ') ++at;
  p.trailing_blanks = at - end;
  return at == s.size();
}

template <class T>
void check_general(T value, const Params& q) {
  const std::string what = "format_general(" + show(value) + ", " + q.show() + ")";
  fuzz::print_call(what);
  const std::string s = textfmt::format_general(value, q.w, q.d, q.e, q.k, q.list_mode);
  FUZZ_CHECK(s.size() == static_cast<std::size_t>(q.w > 0 ? q.w : 0), what + " = " + show_text(s));
  const std::string to = guarded(
      q.w, [&](char* out) { textfmt::format_general_to(out, value, q.w, q.d, q.e, q.k, q.list_mode); }, what);
  FUZZ_CHECK(to == s, what + ": " + show_text(s) + " but the _to form gives " + show_text(to));
  if (q.w <= 0) return;
  const std::string shown = what + " = " + show_text(s);

  // Not-a-number and infinity: the word from column 2, or asterisks.
  if (std::isnan(value) || std::isinf(value)) {
    const std::string word = std::isnan(value) ? "NaN" : value < 0 ? "-Infinity" : "Infinity";
    std::string expected(static_cast<std::size_t>(q.w), '*');
    if (q.w >= static_cast<int>(word.size()) + 1) {
      expected.assign(static_cast<std::size_t>(q.w), ' ');
      expected.replace(1, word.size(), word);
    }
    FUZZ_CHECK(s == expected, shown + ", expected " + show_text(expected));
    return;
  }

  // Widths that always hold the number: the exponent form with k = 0 or 1 and
  // an exponent that fits its digits, the fixed form with its n blanks.
  const int exponent_need = std::numeric_limits<T>::max_exponent10 < 100 ? 2 : 3;
  const bool roomy = (q.k == 0 || q.k == 1) && q.d >= 1 && q.d <= 30 &&
                     (q.e == 0 || (q.e >= exponent_need && q.e <= 30)) &&
                     q.w >= q.d + 3 + (q.e > 0 ? q.e + 2 : 4);
  if (all_asterisks(s)) {
    FUZZ_CHECK(!roomy, shown + ": asterisks although the field is wide enough");
    return;
  }

  Parsed p;
  FUZZ_CHECK(parse_field(s, p), shown + ": not a number field");
  const int n = q.e > 0 ? q.e + 2 : 4;
  if (p.has_exponent) {
    FUZZ_CHECK(p.trailing_blanks == 0, shown + ": blanks after the exponent");
    if (q.e > 0)
      FUZZ_CHECK(p.letter && p.exponent_digits.size() == static_cast<std::size_t>(q.e),
                 shown + ": the exponent has not e digits");
    else
      FUZZ_CHECK(p.letter ? p.exponent_digits.size() == 2 : p.exponent_digits.size() == 3,
                 shown + ": not E+dd or +ddd");
  } else {
    FUZZ_CHECK(p.trailing_blanks == static_cast<std::size_t>(n), shown + ": the fixed form ends in " +
                                                                     std::to_string(n) + " blanks");
  }
  FUZZ_CHECK(p.negative == (value < 0), shown + ": wrong sign");

  if (value == 0) {
    FUZZ_CHECK((p.before + p.after).find_first_not_of('0') == std::string::npos, shown + ": zero has digits");
    return;
  }

  // Significant digits: d in the fixed form; in the exponent form d + 1 for
  // k > 0, d + k otherwise.
  const std::string all = p.before + p.after;
  const std::size_t first = all.find_first_not_of('0');
  const long long significant = first == std::string::npos ? 0 : static_cast<long long>(all.size() - first);
  const long long expected_significant =
      !p.has_exponent ? q.d : q.k > 0 ? static_cast<long long>(q.d) + 1 : static_cast<long long>(q.d) + q.k;
  FUZZ_CHECK(significant == expected_significant,
             shown + ": " + std::to_string(significant) + " significant digits");

  // Within half a unit of the last digit of the exact value (long double
  // holds every float and double; the slack covers its own rounding).
  std::string number = (p.negative ? "-" : "") + p.before + "." + p.after;
  if (p.has_exponent) number += "e" + std::to_string(p.exponent);
  const long double parsed = std::strtold(number.c_str(), nullptr);
  const long double exact = static_cast<long double>(value);
  const long double place = std::pow(10.0L, static_cast<long double>(p.exponent - static_cast<long long>(p.after.size())));
  const long double error = std::fabs(parsed - exact);
  const long double bound = 0.5L * place * (1 + 0x1p-55L) + std::fabs(exact) * 0x1p-60L;
  FUZZ_CHECK(error <= bound, shown + ": not the value rounded to the digits shown");
}

// The list-directed field of a single-precision value.
void check_list_field(float value) {
  const Params q{textfmt::kListRealWidth, 7, 2, 1, true};
  check_general(value, q);
  const std::string s = textfmt::format_general(value, q.w, q.d, q.e, q.k, q.list_mode);
  const std::string shown = "list field of " + show(value) + " = " + show_text(s);
  FUZZ_CHECK(!all_asterisks(s), shown);
  if (value == 0) {
    FUZZ_CHECK(s == "  0.0000000E+00", shown);
    return;
  }
  if (!std::isfinite(value)) return;
  const float back = std::strtof(s.c_str(), nullptr);
  const bool exponent = s.find('E') != std::string::npos;
  const float expected = fuzz::nearest_decimal(value, exponent ? 8 : 7);
  FUZZ_CHECK(fuzz::same_bits(back, expected), shown + " reads back as " + show(back) + ", expected " + show(expected));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const int kind = in.ConsumeIntegralInRange<int>(0, 3);
  if (kind == 3) {
    check_list_field(fuzz::any_float(in));
    return 0;
  }
  const int w = in.ConsumeIntegralInRange<int>(-3, 200);
  if (kind == 0) {
    const int m = any_parameter(in);
    check_integer(in.ConsumeIntegral<std::int32_t>(), w, m);
    return 0;
  }
  Params q{w, 0, 0, 0, false};
  q.d = any_parameter(in);
  q.e = any_parameter(in);
  q.k = any_parameter(in);
  q.list_mode = in.ConsumeBool();
  if (kind == 1)
    check_general(fuzz::any_float(in), q);
  else
    check_general(fuzz::any_double(in), q);
  return 0;
}
