#include "textfmt/number_field.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>

#include "textfmt/internal/decimal_digits.h"

namespace textfmt {
namespace {

// ---------------------------------------------------------------------------
// Lengths
//
// w, d, e, k and m may each be any int. Every length or digit position made
// from more than one of them (d + 2, e + 2, M - k, the parts of a field added
// up) is figured in long long, where it cannot overflow, and is compared with
// the width before anything is written; a field that fits has at most w <=
// INT_MAX characters, so every count that reaches a loop or memset is
// within its buffer.

void fill(char* out, long long count, char c) {
  if (count > 0) std::memset(out, c, static_cast<std::size_t>(count));
}

// ---------------------------------------------------------------------------
// Decimal digits of a binary value
//
// The exact decimal expansion of a binary64 value has at most 767 significant
// digits (a binary32 value at most 112); every digit past that is 0. Digit
// strings are therefore capped at kDigitCap and read as 0 beyond their end.
constexpr int kDigitCap = 780;

struct Digits {
  char d[kDigitCap];
  int count = 0;  // digits stored in d[0 .. count)
  int M = 0;      // value == 0.d1 d2 d3 ... * 10^M
  // 0-based; the places before the first digit (i < 0) and after the last
  // one stored are 0.
  char at(long long i) const {
    return static_cast<unsigned long long>(i) < static_cast<unsigned>(count) ? d[i] : '0';
  }
};

// Digits to round to for r significant digits: at most kDigitCap, since
// rounding to more places than the exact expansion has changes nothing.
int stored_digits(long long r) { return r < kDigitCap ? static_cast<int>(r) : kDigitCap; }

// |x| (finite, non-zero) correctly rounded to r significant digits,
// 1 <= r <= kDigitCap, through the library's correctly rounded conversion.
template <typename T>
void round_exact(T ax, int r, Digits& out) {
  const int precision = stored_digits(r) - 1;
  char buf[kDigitCap + 16];
  const auto res = std::to_chars(buf, buf + sizeof buf, ax, std::chars_format::scientific, precision);
  // "d.ddddde+XX" or "de+XX"
  const char* p = buf;
  int n = 0;
  out.d[n++] = *p++;
  if (*p == '.') {
    ++p;
    while (*p != 'e') out.d[n++] = *p++;
  }
  ++p;  // 'e'
  const bool neg_exp = *p == '-';
  ++p;
  int e10 = 0;
  while (p < res.ptr) e10 = e10 * 10 + (*p++ - '0');
  out.count = n;
  out.M = (neg_exp ? -e10 : e10) + 1;
}

// One more decade: 0.999 -> 0.100 * 10^(M+1) when rounding up carries through.
void increment(Digits& out, int r) {
  int i = r - 1;
  while (i >= 0 && out.d[i] == '9') out.d[i--] = '0';
  if (i >= 0) {
    ++out.d[i];
  } else {
    out.d[0] = '1';
    ++out.M;
  }
}

// Rounds |x| to r significant digits, reusing y (|x| already correctly rounded
// to more than r digits) when that cannot differ from rounding |x| itself:
// only a tail of y that reads exactly 5000... may hide which side of the
// halfway point |x| lies on (or be an exact tie); then |x| is rounded anew.
template <typename T>
void round_from(const Digits& y, T ax, int r, Digits& out) {
  if (r >= y.count) {
    round_exact(ax, r, out);
    return;
  }
  const char first = y.d[r];
  bool tie_like = first == '5';
  for (int i = r + 1; tie_like && i < y.count; ++i) tie_like = y.d[i] == '0';
  if (tie_like) {
    round_exact(ax, r, out);
    return;
  }
  std::memcpy(out.d, y.d, static_cast<std::size_t>(r));
  out.count = r;
  out.M = y.M;
  if (first >= '5') increment(out, r);
}

// Leading decimal digits of |x|, cut (not rounded), and whether anything
// non-zero follows them: enough to round |x| exactly to fewer digits.
struct Truncated {
  char d[24];
  int count = 0;
  int M = 0;
  bool sticky = false;
};

__extension__ typedef unsigned __int128 u128;  // GCC and Clang: exact products up to 2^128

constexpr u128 power(unsigned base, int n) {
  u128 p = 1;
  for (int i = 0; i < n; ++i) p *= base;
  return p;
}

template <unsigned Base, int N>
constexpr auto power_table() {
  struct Table {
    u128 v[N + 1];
  } t{};
  for (int i = 0; i <= N; ++i) t.v[i] = power(Base, i);
  return t;
}

// "00" "01" ... "99"
constexpr auto kDigitPairs = [] {
  struct Pairs {
    char c[200];
    constexpr char operator[](std::size_t i) const { return c[i]; }
  } t{};
  for (int i = 0; i < 100; ++i) {
    t.c[2 * i] = static_cast<char>('0' + i / 10);
    t.c[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return t;
}();

constexpr int kMaxPow5 = 44;  // 5^44 * 2^24 < 2^128
constexpr auto kPow5 = power_table<5, kMaxPow5>();
constexpr auto kPow10 = power_table<10, 30>();

// The leading 10 or 11 digits of a normal single-precision |x| >= about
// 1e-35, by exact integer arithmetic: floor(|x| * 10^p) for a p that gives
// that many digits. Returns false outside that range.
bool truncated_digits(float ax, Truncated& t) {
  std::uint32_t bits;
  std::memcpy(&bits, &ax, sizeof bits);
  const int biased = static_cast<int>(bits >> 23);
  if (biased == 0) return false;  // subnormal
  const std::uint64_t m = (bits & 0x7fffffu) | 0x800000u;
  const int E = biased - 150;  // |x| = m * 2^E
  const int e2 = biased - 127;  // 2^e2 <= |x| < 2^(e2+1)
  // floor(e2 * log10 2) + 1 is M or M - 1, so floor(|x| * 10^p) has 10 or 11 digits.
  const int p = 10 - (((e2 * 78913) >> 18) + 1);
  std::uint64_t N;
  bool sticky;
  if (p >= 0) {
    if (p > kMaxPow5) return false;
    // |x| * 10^p = m * 5^p * 2^(E + p)
    const u128 num = static_cast<u128>(m) * kPow5.v[p];
    const int shift = E + p;
    if (shift >= 0) {
      N = static_cast<std::uint64_t>(num << shift);
      sticky = false;
    } else {  // N >= 10^9, so the shift is below 128
      const int right = -shift;
      N = static_cast<std::uint64_t>(num >> right);
      sticky = (num & ((static_cast<u128>(1) << right) - 1)) != 0;
    }
  } else {  // |x| >= 1e10: an integer, E > 0
    const u128 num = static_cast<u128>(m) << E;
    const u128 den = kPow10.v[-p];
    N = static_cast<std::uint64_t>(num / den);
    sticky = num % den != 0;
  }
  if (N < 1000000000u || N >= 100000000000u) return false;  // not 10 or 11 digits: cannot happen
  const int n = N >= 10000000000u ? 11 : 10;
  int i = n;
  for (; N >= 100; N /= 100) {
    const auto pair = static_cast<std::size_t>(N % 100) * 2;
    t.d[--i] = kDigitPairs[pair + 1];
    t.d[--i] = kDigitPairs[pair];
  }
  if (N >= 10) {
    t.d[--i] = static_cast<char>('0' + N % 10);
    N /= 10;
  }
  t.d[--i] = static_cast<char>('0' + N);
  t.count = n;
  t.M = n - p;
  t.sticky = sticky;
  return true;
}

// |x| correctly rounded (ties to even) to r significant digits,
// 1 <= r < t.count.
void round_truncated(const Truncated& t, int r, Digits& out) {
  std::memcpy(out.d, t.d, static_cast<std::size_t>(r));
  out.count = r;
  out.M = t.M;
  const char next = t.d[r];
  bool up;
  if (next != '5') {
    up = next > '5';
  } else {
    bool above = t.sticky;
    for (int i = r + 1; !above && i < t.count; ++i) above = t.d[i] != '0';
    up = above || ((t.d[r - 1] - '0') & 1) != 0;
  }
  if (up) increment(out, r);
}

// ---------------------------------------------------------------------------
// Field assembly

// Blank-padded text starting in column 2 ("NaN", "Infinity", "-Infinity").
void special_field(char* out, int w, const char* text) {
  const int len = static_cast<int>(std::strlen(text));
  if (w < len + 1) {
    fill(out, w, '*');
    return;
  }
  fill(out, w, ' ');
  std::memcpy(out + 1, text, static_cast<std::size_t>(len));
}

// Writes digits [from, to) of `digits` at dst; returns the end.
char* put_digits(char* dst, const Digits& digits, long long from, long long to) {
  for (long long i = from; i < to; ++i) *dst++ = digits.at(i);
  return dst;
}

// Lays out the blanks, the sign and an optional leading 0 before a number of
// `body` characters, right-justified in `width` characters; the 0 only where
// `zero_allowed` and there is room for it. Returns where the body goes, or
// nullptr when the number does not fit (nothing is written then).
char* start_number(char* out, long long width, long long body, bool negative, bool zero_allowed) {
  long long len = (negative ? 1 : 0) + body;
  const bool lead_zero = zero_allowed && len + 1 <= width;
  if (lead_zero) ++len;
  if (width < 0 || len > width) return nullptr;
  const long long blanks = width - len;
  fill(out, blanks, ' ');
  char* p = out + blanks;
  if (negative) *p++ = '-';
  if (lead_zero) *p++ = '0';
  return p;
}

// Fixed form: `digits` holds d significant digits of which the first P stand
// before the point; right-aligned in w - n columns, then n blanks.
void fixed_form(char* out, int w, long long n, bool negative, const Digits& digits, long long d, int P) {
  char* p = start_number(out, w - n, d + 1, negative, P == 0);
  if (p == nullptr) {
    fill(out, w, '*');
    return;
  }
  p = put_digits(p, digits, 0, P);
  *p++ = '.';
  p = put_digits(p, digits, P, d);
  fill(p, n, ' ');
}

// Length of the exponent part of X, or -1 when X does not fit in it.
long long exponent_length(long long X, int e) {
  const long long ax = X < 0 ? -X : X;  // |M - k| < 2^32: no overflow below
  if (e > 0) {
    long long limit = 1;  // 10^e, saturated
    for (int i = 0; i < e && limit <= ax; ++i) limit *= 10;
    return ax < limit ? e + 2LL : -1;
  }
  return ax <= 999 ? 4 : -1;  // E+05 or -199 (no letter)
}

// Writes the exponent part of X (its length checked by exponent_length).
void write_exponent(char* dst, long long X, int e) {
  const long long ax = X < 0 ? -X : X;
  const char sign = X < 0 ? '-' : '+';
  int digits = e;
  if (e > 0 || ax <= 99) {
    *dst++ = 'E';
    if (e <= 0) digits = 2;
  } else {
    digits = 3;
  }
  *dst++ = sign;
  long long t = ax;
  for (int i = digits - 1; i >= 0; --i, t /= 10) dst[i] = static_cast<char>('0' + t % 10);
}

// Exponent form: `digits` holds the s significant digits m1..ms of |x| with
// its exponent M (0.m1..ms * 10^M); the printed exponent is M - k.
// s = d + 1 when k > 0, else d + k, so that 1 <= s, k <= s and s - k <= d.
void exponent_form(char* out, int w, long long d, int e, long long k, bool negative, const Digits& digits,
                   long long s) {
  const long long X = digits.M - k;
  const long long exp_len = exponent_length(X, e);
  if (exp_len < 0) {
    fill(out, w, '*');
    return;
  }
  // Mantissa: k > 0: m1..mk . m(k+1)..ms;  k <= 0: . (-k zeros) m1..ms.
  const long long after_point = k > 0 ? s - k : d;
  const long long before_point = k > 0 ? k : 0;
  char* p = start_number(out, w, before_point + 1 + after_point + exp_len, negative, k <= 0);
  if (p == nullptr) {
    fill(out, w, '*');
    return;
  }
  if (k > 0) {
    p = put_digits(p, digits, 0, k);
    *p++ = '.';
    p = put_digits(p, digits, k, s);
  } else {
    *p++ = '.';
    fill(p, -k, '0');
    p += -k;
    p = put_digits(p, digits, 0, s);
  }
  write_exponent(p, X, e);
}

// Significant digits of the exponent form, or 0 when the scale factor leaves
// none (the field is then asterisks): d + 1 for 0 < k <= d + 1, d + k for
// k <= 0 while that is at least 1.
long long exponent_digits(long long d, long long k) {
  if (k > 0) return k <= d + 1 ? d + 1 : 0;
  return d + k >= 1 ? d + k : 0;
}

// Blanks after a fixed-form number: as wide as the exponent part it stands for.
long long exponent_width(int e) { return e > 0 ? e + 2LL : 4; }

void zero_field(char* out, int w, int d, int e, bool list_mode) {
  const long long n = exponent_width(e);
  if (list_mode) {  // 0.0000000E+00
    if (d < 1) {
      fill(out, w, '*');
      return;
    }
    Digits zeros;
    zeros.count = 0;
    zeros.M = 0;
    exponent_form(out, w, d, e > 0 ? e : 2, 0, false, zeros, d);
    return;
  }
  if (d < 1) {  // 0.00 with d - 1 decimals
    fill(out, w, '*');
    return;
  }
  Digits zeros;
  zeros.count = 0;
  // d - 1 decimals after the point: d digits in all would be one too many,
  // so lay it out as d - 1 "significant" digits with no integer digit.
  fixed_form(out, w, n, false, zeros, d - 1LL, 0);
}

template <typename T>
void general_field(char* out, T value, int w, int d, int e, int k, bool list_mode) {
  if (w <= 0) return;
  if (std::isnan(value)) {
    special_field(out, w, "NaN");
    return;
  }
  const bool negative = std::signbit(value);
  if (std::isinf(value)) {
    special_field(out, w, negative ? "-Infinity" : "Infinity");
    return;
  }
  // Every form of a finite value lays out d digit places and a point, or
  // with d < 1 no digit at all, before its exponent part or the n blanks
  // that stand for it: a field narrower than d + n, or d < 0, is asterisks
  // whatever the value. Past this point 0 <= d <= w - n <= INT_MAX - 3.
  const long long n = exponent_width(e);
  if (d < 0 || d + n > w) {
    fill(out, w, '*');
    return;
  }
  if (value == 0) {
    zero_field(out, w, d, e, list_mode);
    return;
  }
  const T ax = negative ? -value : value;

  // |x| rounded to q significant digits decides the form.
  const int q0 = std::is_same_v<T, float> ? 9 : 17;
  const int q = d > q0 ? stored_digits(d + 2LL) : q0;
  Digits y;
  Truncated t;
  bool exact_integer_path = false;
  if constexpr (std::is_same_v<T, float>) {
    // Up to 9 digits of a single-precision value: exact integer arithmetic.
    exact_integer_path = d <= 8 && truncated_digits(ax, t);
  }
  if (exact_integer_path) {
    round_truncated(t, q, y);
  } else {
    round_exact(ax, q, y);
  }
  const int M = y.M;
  // |x| rounded to r significant digits, 1 <= r <= d + 1 (stored: at most q).
  auto round_to = [&](long long r, Digits& rounded) {
    if (exact_integer_path) {
      round_truncated(t, static_cast<int>(r), rounded);  // r <= 9
    } else {
      round_from(y, ax, stored_digits(r), rounded);
    }
  };

  bool exponent = false;
  bool carry = false;
  if (M < -1 || M > d) {
    exponent = true;
  } else {
    bool nines = true;
    for (int i = 0; nines && i < d; ++i) nines = y.at(i) == '9';
    if (nines && y.at(d) >= '5') {
      carry = true;
      exponent = M == d;
    } else {
      exponent = M == -1;
    }
  }

  Digits r;
  if (exponent) {
    const long long s = exponent_digits(d, k);
    if (s == 0) {
      fill(out, w, '*');
      return;
    }
    round_to(s, r);
    exponent_form(out, w, d, e, k, negative, r, s);
    return;
  }
  if (carry) {  // 99.96 at 3 digits -> 100.: a 1 and zeros, one digit more before the point
    r.count = 1;
    r.d[0] = '1';
    r.M = M + 1;
    fixed_form(out, w, n, negative, r, d, M + 1);
    return;
  }
  // d significant digits == d - M decimals; d = 0 (then M = 0) shows none: "0."
  if (d > 0) round_to(d, r);
  fixed_form(out, w, n, negative, r, d, M);
}

}  // namespace

void format_integer_to(char* out, std::int32_t value, int w, int m) {
  if (w <= 0) return;
  const bool negative = value < 0;
  std::uint32_t magnitude = negative ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  char digits[16];
  int count = 0;
  while (magnitude != 0) {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  const int zeros = m > count ? m - count : 0;
  const long long len = static_cast<long long>(count) + zeros + (negative ? 1 : 0);
  if (len > w) {
    fill(out, w, '*');
    return;
  }
  const int blanks = w - static_cast<int>(len);
  fill(out, blanks, ' ');
  char* p = out + blanks;
  if (negative) *p++ = '-';
  fill(p, zeros, '0');
  p += zeros;
  while (count > 0) *p++ = digits[--count];
}

std::string format_integer(std::int32_t value, int w, int m) {
  if (w <= 0) return {};
  std::string field(static_cast<std::size_t>(w), ' ');
  format_integer_to(field.data(), value, w, m);
  return field;
}

void format_general_to(char* out, float value, int w, int d, int e, int k, bool list_mode) {
  general_field(out, value, w, d, e, k, list_mode);
}

void format_general_to(char* out, double value, int w, int d, int e, int k, bool list_mode) {
  general_field(out, value, w, d, e, k, list_mode);
}

std::string format_general(float value, int w, int d, int e, int k, bool list_mode) {
  if (w <= 0) return {};
  std::string field(static_cast<std::size_t>(w), ' ');
  format_general_to(field.data(), value, w, d, e, k, list_mode);
  return field;
}

std::string format_general(double value, int w, int d, int e, int k, bool list_mode) {
  if (w <= 0) return {};
  std::string field(static_cast<std::size_t>(w), ' ');
  format_general_to(field.data(), value, w, d, e, k, list_mode);
  return field;
}

namespace internal {

std::string decimal_digits(float value, int r, bool exact_integer_path) {
  Digits digits;
  if (exact_integer_path) {
    Truncated t;
    if (!truncated_digits(std::fabs(value), t) || r >= t.count) return "no exact path";
    round_truncated(t, r, digits);
  } else {
    round_exact(std::fabs(value), r, digits);
  }
  return std::string(digits.d, static_cast<std::size_t>(digits.count)) + "e" +
         std::to_string(digits.M);
}

}  // namespace internal
}  // namespace textfmt
