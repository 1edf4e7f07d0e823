#include "textfmt/formatted.h"

#include <gtest/gtest.h>

#include "textfmt/fixed_text.h"

namespace textfmt {
namespace {

// The field written from column 1 of an 80-character target, blanks after it.
std::string field(const std::string& text) { return text + std::string(80 - text.size(), ' '); }

std::string written(std::string_view format, double value) {
  std::string t = "previous contents";
  write_formatted(t, format, value);
  return t;
}

std::string written(std::string_view format, std::int32_t value) {
  std::string t(100, 'x');
  write_formatted(t, format, value);
  return t;
}

TEST(Formatted, IntegerFieldOfWidthFour) {
  EXPECT_EQ(written("(i4)", 3), field("   3"));
  EXPECT_EQ(written("(i4)", 22), field("  22"));
  EXPECT_EQ(written("(I4)", -22), field(" -22"));
  EXPECT_EQ(written("(i4)", 12345), field("****"));
  EXPECT_EQ(written("(i4)", 0), field("    "));
}

TEST(Formatted, RunTimeGeneralField) {
  EXPECT_EQ(written("(g9.3)", 0.5), field("0.500    "));
  EXPECT_EQ(written("(G9.3)", 12.345), field(" 12.3    "));
  EXPECT_EQ(written("(g9.3)", 999.6), field("0.100E+04"));
  EXPECT_EQ(written("(g9.3)", -0.05), field("-.500E-01"));
  EXPECT_EQ(written("(g9.3)", 1.0e-200), field("0.100-199"));
  EXPECT_EQ(written("(g10.4)", -1.25e-5), field("-.1250E-04"));
  EXPECT_EQ(written("(G10.4)", 31.4159), field(" 31.42    "));
  EXPECT_EQ(written("(g22.16)", 0.1), field("0.1000000000000000    "));
  EXPECT_EQ(written("(g22.16)", 1.0e20), field("0.1000000000000000E+21"));
  EXPECT_EQ(written("(g22.16)", -1.0e20), field("-.1000000000000000E+21"));
}

TEST(Formatted, LabelsAsDrawn) {
  const double values[] = {0.5, 12.345, 999.4, 999.6, 1234.5, 0.05, -0.05, -1.5, 0.0, 1.0e-200};
  const char* labels[] = {"0.500",     "12.3",      "999.",  "0.100E+04", "0.123E+04",
                          "0.500E-01", "-.500E-01", "-1.50", "0.00",      "0.100-199"};
  for (int i = 0; i < 10; ++i) {
    std::string t;
    write_formatted(t, "(g9.3)", values[i]);
    EXPECT_EQ(trim(adjust_left(t)), labels[i]) << values[i];
  }
}

TEST(Formatted, UnknownFormatsFillTheTargetWithAsterisks) {
  const std::string stars(80, '*');
  EXPECT_EQ(written("(f9.3)", 1.0), stars);
  EXPECT_EQ(written("(g9)", 1.0), stars);
  EXPECT_EQ(written("g9.3", 1.0), stars);
  EXPECT_EQ(written("(g9.3 )", 1.0), stars);
  EXPECT_EQ(written("(g81.3)", 1.0), stars);  // wider than the target
  EXPECT_EQ(written("(g9.99999999999)", 1.0), stars);  // more than four digits
  EXPECT_EQ(written("(i4294967300)", 1), stars);
  EXPECT_EQ(written("(g80.9999)", 1.0), stars);  // 9999 digits do not fit
  EXPECT_EQ(written("(i4)", 1.5), stars);     // a real under an integer field
  EXPECT_EQ(written("", 7), stars);
}

}  // namespace
}  // namespace textfmt
