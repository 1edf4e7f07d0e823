#include "textfmt/number_field.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "textfmt/fixed_text.h"
#include "textfmt/internal/decimal_digits.h"

namespace textfmt {
namespace {

std::string list_real(float v) { return format_general(v, kListRealWidth, 7, 2, 1, true); }
std::string g(double v, int w, int d) { return format_general(v, w, d, 0, 0, false); }

TEST(IntegerField, Digits) {
  EXPECT_EQ(format_integer(121, 12, 1), "         121");
  EXPECT_EQ(format_integer(-5, 12, 1), "          -5");
  EXPECT_EQ(format_integer(1, 12, 1), "           1");
  EXPECT_EQ(format_integer(0, 12, 1), "           0");
  EXPECT_EQ(format_integer(3, 4, 0), "   3");
  EXPECT_EQ(format_integer(22, 4, 0), "  22");
  EXPECT_EQ(format_integer(-999, 4, 0), "-999");
  EXPECT_EQ(format_integer(0, 4, 0), "    ");  // m not given: no digit at all
  EXPECT_EQ(format_integer(7, 6, 3), "   007");
  EXPECT_EQ(format_integer(-7, 6, 3), "  -007");
  EXPECT_EQ(format_integer(std::numeric_limits<std::int32_t>::min(), 12, 1), " -2147483648");
  EXPECT_EQ(format_integer(std::numeric_limits<std::int32_t>::max(), 12, 1), "  2147483647");
}

TEST(IntegerField, TooNarrowIsAsterisks) {
  EXPECT_EQ(format_integer(12345, 4, 0), "****");
  EXPECT_EQ(format_integer(-1000, 4, 0), "****");
  EXPECT_EQ(format_integer(5, 3, 4), "***");
  EXPECT_EQ(format_integer(std::numeric_limits<std::int32_t>::min(), 10, 1), "**********");
}

TEST(GeneralListMode, SinglePrecisionValues) {
  EXPECT_EQ(list_real(1.0f), "   1.000000    ");
  EXPECT_EQ(list_real(0.5f), "  0.5000000    ");
  EXPECT_EQ(list_real(121.0f), "   121.0000    ");
  EXPECT_EQ(list_real(-1.9f), "  -1.900000    ");
  EXPECT_EQ(list_real(1.9f), "   1.900000    ");
  EXPECT_EQ(list_real(9999999.0f), "   9999999.    ");
  EXPECT_EQ(list_real(12345678.0f), "  1.2345678E+07");
  EXPECT_EQ(list_real(1.0e10f), "  1.0000000E+10");
  EXPECT_EQ(list_real(0.05f), "  5.0000001E-02");
  EXPECT_EQ(list_real(0.0f), "  0.0000000E+00");
  EXPECT_EQ(list_real(-0.0f), "  0.0000000E+00");
  EXPECT_EQ(list_real(0.1f), "  0.1000000    ");
  EXPECT_EQ(list_real(std::nextafter(0.1f, 0.0f)), "  9.9999994E-02");  // just below 0.1: exponent form
  EXPECT_EQ(list_real(-1.0e-30f), " -1.0000000E-30");
  EXPECT_EQ(list_real(1.4e-45f), "  1.4012985E-45");  // smallest subnormal
  EXPECT_EQ(list_real(1.0e-36f), "  1.0000000E-36");
  EXPECT_EQ(list_real(1.0e20f), "  1.0000000E+20");   // 100000002004087734272
  EXPECT_EQ(list_real(134217728.0f), "  1.3421773E+08");  // 2^27
  EXPECT_EQ(list_real(std::numeric_limits<float>::max()), "  3.4028235E+38");
}

TEST(GeneralListMode, NotANumberAndInfinity) {
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(list_real(std::numeric_limits<float>::quiet_NaN()), " NaN           ");
  EXPECT_EQ(list_real(-std::numeric_limits<float>::quiet_NaN()), " NaN           ");
  EXPECT_EQ(list_real(inf), " Infinity      ");
  EXPECT_EQ(list_real(-inf), " -Infinity     ");
  EXPECT_EQ(g(static_cast<double>(inf), 9, 3), " Infinity");
  EXPECT_EQ(g(static_cast<double>(-inf), 9, 3), "*********");  // no room for the sign
  EXPECT_EQ(g(std::nan(""), 4, 3), " NaN");
  EXPECT_EQ(g(std::nan(""), 3, 3), "***");
}

TEST(GeneralField, NineThree) {
  EXPECT_EQ(g(0.5, 9, 3), "0.500    ");
  EXPECT_EQ(g(12.345, 9, 3), " 12.3    ");
  EXPECT_EQ(g(999.4, 9, 3), " 999.    ");
  EXPECT_EQ(g(999.6, 9, 3), "0.100E+04");
  EXPECT_EQ(g(1234.5, 9, 3), "0.123E+04");
  EXPECT_EQ(g(0.05, 9, 3), "0.500E-01");
  EXPECT_EQ(g(-0.05, 9, 3), "-.500E-01");
  EXPECT_EQ(g(-1.5, 9, 3), "-1.50    ");
  EXPECT_EQ(g(0.0, 9, 3), " 0.00    ");
  EXPECT_EQ(g(-0.0, 9, 3), " 0.00    ");
  EXPECT_EQ(g(1.0e-200, 9, 3), "0.100-199");
}

TEST(GeneralField, TenFourAndWider) {
  EXPECT_EQ(g(-1.25e-5, 10, 4), "-.1250E-04");
  EXPECT_EQ(g(31.4159, 10, 4), " 31.42    ");
  EXPECT_EQ(g(1.0 / 3.0, 22, 16), "0.3333333333333333    ");
  EXPECT_EQ(g(-2.0 / 3.0, 22, 16), "-.6666666666666666    ");
  EXPECT_EQ(g(0.99999999999999994, 22, 16), "0.9999999999999999    ");
  EXPECT_EQ(g(123456789.0, 22, 16), " 123456789.0000000    ");
  // More digits than 17: the exact binary value shows.
  EXPECT_EQ(g(0.1, 30, 20), "    0.10000000000000000555    ");
}

TEST(GeneralField, RoundingCarriesIntoNextDecade) {
  EXPECT_EQ(g(9.9999999, 9, 3), " 10.0    ");
  EXPECT_EQ(g(0.99999999, 9, 3), " 1.00    ");
  EXPECT_EQ(g(0.099996, 9, 3), "0.100    ");
  EXPECT_EQ(g(0.0999, 9, 3), "0.999E-01");
  EXPECT_EQ(g(99.96, 9, 3), " 100.    ");
  EXPECT_EQ(g(9.9999e10, 9, 3), "0.100E+12");
  EXPECT_EQ(g(1.0e98, 9, 3), "0.100E+99");  // 9.99...98e97 carries to the next exponent
  EXPECT_EQ(list_real(9.9999999f), "   10.00000    ");
  EXPECT_EQ(list_real(9999999.6f), "  1.0000000E+07");
  // The form follows the digits rounded to 17 places: 0.995 is
  // 0.99499999999999999556 but reads 0.99500000000000000, which carries.
  EXPECT_EQ(g(0.995, 8, 2), " 1.0    ");
}

TEST(GeneralField, TiesRoundToEven) {
  EXPECT_EQ(g(0.125, 8, 2), "0.12    ");
  EXPECT_EQ(g(0.375, 8, 2), "0.38    ");
  EXPECT_EQ(g(2.5, 7, 1), " 2.    ");
  EXPECT_EQ(g(3.5, 7, 1), " 4.    ");
  EXPECT_EQ(g(125.0, 8, 2), "0.12E+03");
  EXPECT_EQ(g(135.0, 8, 2), "0.14E+03");
  EXPECT_EQ(list_real(4194304.5f), "   4194304.    ");
  EXPECT_EQ(list_real(4194305.5f), "   4194306.    ");
  EXPECT_EQ(list_real(0.000244140625f), "  2.4414062E-04");  // 2^-12
  EXPECT_EQ(list_real(0.000732421875f), "  7.3242188E-04");  // 3 * 2^-12
}

TEST(GeneralField, DigitsOfTheExactBinaryValue) {
  // 0.1055 is 0.10549999999999999656 and 0.01025 is 0.01025000000000000043:
  // neither is a tie, although both read ...5000000000000 at 17 digits.
  EXPECT_EQ(g(0.1055, 9, 3), "0.105    ");
  EXPECT_EQ(g(0.01025, 9, 3), "0.103E-01");
}

TEST(GeneralField, ThreeDigitExponentsWithoutTheLetter) {
  EXPECT_EQ(g(-1.0e-200, 9, 3), "-.100-199");
  EXPECT_EQ(g(1.0e150, 9, 3), "0.100+151");
  EXPECT_EQ(g(1.0e99, 9, 3), "0.100+100");
  EXPECT_EQ(g(1.0e-100, 9, 3), "0.100E-99");
  EXPECT_EQ(g(1.0e-101, 9, 3), "0.100-100");
  EXPECT_EQ(g(4.9406564584124654e-324, 9, 3), "0.494-323");
  EXPECT_EQ(format_general(1.0e-200, 12, 3, 3, 0, false), "  0.100E-199");
}

TEST(GeneralField, ScaleFactor) {
  EXPECT_EQ(format_general(12345.0, 12, 4, 2, 2, false), "  12.345E+03");
  EXPECT_EQ(format_general(12345.0, 12, 4, 2, -1, false), "  0.0123E+06");
  EXPECT_EQ(format_general(12345.0, 9, 0, 0, 1, false), "   1.E+04");
  EXPECT_EQ(format_general(12.5, 12, 4, 2, 2, false), "   12.50    ");  // no effect on the fixed form
}

TEST(GeneralField, TooNarrowIsAsterisks) {
  EXPECT_EQ(g(1.5, 5, 3), "*****");
  EXPECT_EQ(g(-999.4, 8, 3), "********");
  EXPECT_EQ(g(1234.5, 8, 3), ".123E+04");  // the optional 0 is dropped first
  EXPECT_EQ(g(-1234.5, 8, 3), "********");
  EXPECT_EQ(format_general(1.0e10, 12, 3, 1, 0, false), "************");  // exponent 11 in one digit
  EXPECT_EQ(format_general(1.0e-5, 12, 3, 1, 0, false), "    0.100E-4");
  EXPECT_EQ(g(1.0e10, 9, 0), "*********");                             // d < 1 and k < 1
  EXPECT_EQ(g(0.0, 9, 0), "*********");                                // zero with d - 1 < 0
  EXPECT_EQ(format_general(0.0, 9, 0, 2, 0, true), "*********");
  EXPECT_EQ(format_general(12345.0, 12, 4, 2, 6, false), "************");  // k beyond d + 1
  EXPECT_EQ(format_general(0.0f, 10, 7, 2, 1, true), "**********");
}

TEST(NumberFieldTo, WritesExactlyTheField) {
  char buf[24];
  std::memset(buf, '#', sizeof buf);
  format_general_to(buf, 1.9f, 15, 7, 2, 1, true);
  EXPECT_EQ(std::string(buf, sizeof buf), "   1.900000    #########");
  std::memset(buf, '#', sizeof buf);
  format_general_to(buf, 999.6, 9, 3, 0, 0, false);
  EXPECT_EQ(std::string(buf, 10), "0.100E+04#");
  std::memset(buf, '#', sizeof buf);
  format_integer_to(buf, -5, 12, 1);
  EXPECT_EQ(std::string(buf, 13), "          -5#");
  EXPECT_EQ(format_general(1.0, 0, 3, 0, 0, false), "");
}

// ---------------------------------------------------------------------------
// Any int argument

constexpr int kMin = std::numeric_limits<int>::min();
constexpr int kMax = std::numeric_limits<int>::max();
constexpr int kEdges[] = {kMin, kMin + 1, -1, 0, 1, 2, 100, 1000, kMax - 1, kMax};

TEST(GeneralField, ArgumentsAtTheIntLimits) {
  EXPECT_EQ(format_general(999.6, 9, kMax, 0, 0, false), "*********");
  EXPECT_EQ(format_general(0.05, 9, -1, 0, 0, false), "*********");  // no digit to show
  EXPECT_EQ(format_general(0.0, 9, kMin, 0, 0, true), "*********");
  EXPECT_EQ(format_general(0.3, 8, 0, 0, 0, false), "  0.    ");
  EXPECT_EQ(format_general(999.6, 9, 3, kMin, 0, false), "0.100E+04");  // e <= 0: not given
  EXPECT_EQ(format_general(999.6, 9, 3, kMax, 0, false), "*********");
  EXPECT_EQ(format_general(0.0f, 15, 7, kMax - 1, 1, true), "***************");
  EXPECT_EQ(format_general(999.6, 9, 3, 0, kMin, false), "*********");
  EXPECT_EQ(format_general(999.6, 9, 3, 0, kMax, false), "*********");
  EXPECT_EQ(format_general(999.6, 9, 3, 0, 5, false), "*********");  // 1 - d <= k <= d + 1
  EXPECT_EQ(format_general(999.6, 9, 3, 0, 4, false), "9996.E-01");
  EXPECT_EQ(format_general(999.6, 10, 3, 0, -2, false), " 0.001E+06");
  EXPECT_EQ(format_general(1.0f, kListRealWidth, 7, 2, kMax, true), "   1.000000    ");  // fixed form: no scale
  EXPECT_EQ(format_general(-HUGE_VAL, 10, kMax, kMax, kMin, false), " -Infinity");
  EXPECT_EQ(format_general(1.0, kMin, 3, 0, 0, false), "");
  EXPECT_EQ(format_integer(5, 4, kMax), "****");
  EXPECT_EQ(format_integer(5, 4, kMin), "   5");
  EXPECT_EQ(format_integer(-5, kMin, 1), "");
}

TEST(GeneralField, DigitsPastTheExactBinaryValueAreZeros) {
  const std::string tenth = "0.1000000000000000055511151231257827021181583404541015625";
  EXPECT_EQ(format_general(0.1, 1006, 1000, 0, 0, false), tenth + std::string(945, '0') + "    ");
  EXPECT_EQ(format_general(0.1f, 1006, 1000, 0, 0, false),
            "0.100000001490116119384765625" + std::string(973, '0') + "    ");
  // 2^-10 = 0.9765625E-03 with 1000 digits before the point, or 999 zeros after it.
  EXPECT_EQ(format_general(0x1p-10, 1010, 1000, 4, 1000, false),
            "  9765625" + std::string(993, '0') + ".0E-1003");
  EXPECT_EQ(format_general(0x1p-10, 1010, 1000, 3, 1000, false), std::string(1010, '*'));
  EXPECT_EQ(format_general(0x1p-10, 1010, 1000, 3, -999, false), "   0." + std::string(999, '0') + "1E+997");
}

// Whether f is asterisks, v's NaN or Infinity text, or a number that reads
// back as v within half a unit of its last digit, followed by its exponent
// part or by n blanks.
bool well_formed(const std::string& f, double v, long long n) {
  constexpr auto npos = std::string::npos;
  if (f.find_first_not_of('*') == npos) return true;
  if (!std::isfinite(v)) {
    const std::string text = std::isnan(v) ? " NaN" : v < 0 ? " -Infinity" : " Infinity";
    return f.compare(0, text.size(), text) == 0 && f.find_first_not_of(' ', text.size()) == npos;
  }
  const std::size_t begin = f.find_first_not_of(' ');
  if (begin == npos || (f[begin] == '-') != (v < 0)) return false;
  const std::size_t point = f.find_first_not_of("0123456789", begin + (v < 0 ? 1 : 0));
  if (point == npos || f[point] != '.') return false;
  const std::size_t end = f.find_first_not_of("0123456789", point + 1);
  if (end == npos) return false;
  long long exponent = 0;
  if (f[end] == ' ') {  // fixed form
    if (f.find_first_not_of(' ', end) != npos || static_cast<long long>(f.size() - end) != n) return false;
  } else {  // E+dd..., or +ddd without the letter
    const std::size_t sign = f[end] == 'E' ? end + 1 : end;
    if (sign + 1 >= f.size() || (f[sign] != '+' && f[sign] != '-') ||
        f.find_first_not_of("0123456789", sign + 1) != npos || (sign == end && f.size() - sign != 4))
      return false;
    for (std::size_t i = sign + 1; i < f.size(); ++i) exponent = std::min(exponent * 10 + (f[i] - '0'), 99999LL);
    if (f[sign] == '-') exponent = -exponent;
  }
  const std::string number = f.substr(begin, end - begin) + "e" + std::to_string(exponent);
  const long double read = std::strtold(number.c_str(), nullptr);
  const auto unit_exponent = static_cast<long double>(exponent) - static_cast<long double>(end - point - 1);
  return std::fabs(std::fabs(read) - std::fabs(v)) <= 0.5L * std::pow(10.0L, unit_exponent) + 1e-15L * std::fabs(v);
}

// Every int argument at its edges: w characters (none for w < 1), nothing
// written past them, asterisks or a well-formed field.
template <typename T>
void check_general_edges(T v) {
  std::vector<char> buf(1024 + 8);
  for (int w : {kMin, -1, 0, 1, 2, 4, 9, 15, 1024})
    for (int d : kEdges)
      for (int e : kEdges)
        for (int k : kEdges)
          for (bool list_mode : {false, true}) {
            std::fill(buf.begin(), buf.end(), '#');
            format_general_to(buf.data(), v, w, d, e, k, list_mode);
            const std::string f(buf.data(), static_cast<std::size_t>(std::max(w, 0)));
            ASSERT_TRUE(std::string(buf.data() + f.size(), 8) == "########" &&
                        well_formed(f, static_cast<double>(v), e > 0 ? e + 2LL : 4))
                << v << " w=" << w << " d=" << d << " e=" << e << " k=" << k << " \"" << f << '"';
          }
}

TEST(NumberFieldArguments, EveryIntArgumentGivesAFieldOrAsterisks) {
  const double dmin = std::numeric_limits<double>::denorm_min();
  for (double v : {0.0, -0.0, 1.0, -1.0, 999.6, -999.6, 0.05, 1.0e-200, dmin, -dmin,
                   std::numeric_limits<double>::min() - dmin, std::numeric_limits<double>::max(), std::nan(""),
                   HUGE_VAL, -HUGE_VAL})
    check_general_edges(v);
  const float fmin = std::numeric_limits<float>::denorm_min();
  for (float v : {0.0f, 1.0f, -1.0f, 999.6f, 0.05f, fmin, std::numeric_limits<float>::min() - fmin,
                  std::numeric_limits<float>::max(), std::nanf(""), -HUGE_VALF})
    check_general_edges(v);
  for (std::int32_t v : {kMin, -1, 0, 1, 7, kMax})
    for (int w : {kMin, -1, 0, 1, 2, 4, 12})
      for (int m : kEdges) {
        const std::string f = format_integer(v, w, m);
        const std::string number(strip(f));
        const auto digits = static_cast<int>(number.size()) - (v < 0 ? 1 : 0);
        EXPECT_TRUE(f.size() == static_cast<std::size_t>(std::max(w, 0)) &&
                    (f.find_first_not_of('*') == std::string::npos ||
                     (number.empty() ? v == 0 && m <= 0 : std::stoll(number) == v && digits >= std::max(m, 1))))
            << v << " w=" << w << " m=" << m << " \"" << f << '"';
      }
}

}  // namespace
}  // namespace textfmt

// The integer path that serves most single-precision values must give the
// digits of the library's correctly rounded conversion, ties included.
TEST(DecimalDigits, ExactIntegerPathAgreesWithTheLibraryConversion) {
  std::mt19937 gen(2024);
  std::uniform_int_distribution<std::uint32_t> any_bits(0, 0x7F7FFFFF);
  int taken = 0;
  for (int n = 0; n < 200000; ++n) {
    std::uint32_t bits = any_bits(gen);
    if (n % 4 == 0) bits = 0x3F800000u + (bits & 0x07FFFFFF) - 0x03FFFFFF;  // near 1
    float v;
    std::memcpy(&v, &bits, sizeof v);
    if (!(v > 0) || !std::isfinite(v)) continue;
    for (int r : {1, 2, 7, 8, 9}) {
      const std::string exact = textfmt::internal::decimal_digits(v, r, true);
      if (exact == "no exact path") continue;
      ++taken;
      ASSERT_EQ(exact, textfmt::internal::decimal_digits(v, r, false)) << v << " r=" << r;
    }
  }
  EXPECT_GT(taken, 300000);
  // Exact ties go to the even neighbour: 0.125 -> 0.12, 0.375 -> 0.38, 2.5 -> 2.
  EXPECT_EQ(textfmt::internal::decimal_digits(0.125f, 2, true), "12e0");
  EXPECT_EQ(textfmt::internal::decimal_digits(0.375f, 2, true), "38e0");
  EXPECT_EQ(textfmt::internal::decimal_digits(2.5f, 1, true), "2e1");
  EXPECT_EQ(textfmt::internal::decimal_digits(9.5f, 1, true), "1e2");
}
