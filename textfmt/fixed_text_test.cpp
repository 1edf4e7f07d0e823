#include "textfmt/fixed_text.h"

#include <gtest/gtest.h>

namespace textfmt {
namespace {

TEST(FixedText, AssignPadsOrCuts) {
  EXPECT_EQ(assign_fixed("x"), "x" + std::string(79, ' '));
  EXPECT_EQ(assign_fixed(std::string(85, 'a') + "b"), std::string(80, 'a'));
  EXPECT_EQ(assign_fixed("", 3), "   ");
  EXPECT_EQ(assign_fixed("abcdef", 4), "abcd");
  EXPECT_EQ(assign_fixed("log(" + std::string(78, 't') + ")"), "log(" + std::string(76, 't'));
}

TEST(FixedText, AdjustLeftTrimStrip) {
  EXPECT_EQ(adjust_left("   Re(c)"), "Re(c)   ");
  EXPECT_EQ(adjust_left("  0.500E-01"), "0.500E-01  ");
  EXPECT_EQ(adjust_left("    "), "    ");
  EXPECT_EQ(adjust_left(""), "");
  EXPECT_EQ(trim(" 12.3    "), " 12.3");
  EXPECT_EQ(trim("      "), "");
  EXPECT_EQ(trim("a b "), "a b");
  EXPECT_EQ(strip("  0.100-199  "), "0.100-199");
  EXPECT_EQ(strip("   "), "");
  EXPECT_EQ(drop_leading_blanks("   T  "), "T  ");
  EXPECT_EQ(drop_leading_blanks("  "), "");
  // The screen map's labels: the field after adjust_left and trim.
  EXPECT_EQ(trim(adjust_left(" 999.    ")), "999.");
  EXPECT_EQ(trim(adjust_left("-.500E-01")), "-.500E-01");
}

TEST(FixedText, EqualityIgnoresTrailingBlanks) {
  EXPECT_TRUE(texts_equal("abc", "abc   "));
  EXPECT_TRUE(texts_equal("abc   ", "abc"));
  EXPECT_TRUE(texts_equal("", "    "));
  EXPECT_TRUE(texts_equal("", ""));
  EXPECT_FALSE(texts_equal("abc", "abd"));
  EXPECT_FALSE(texts_equal("abc", "abc  x"));
  EXPECT_FALSE(texts_equal(" abc", "abc"));  // leading blanks count
}

// Device types and unit names: ASCII letters in either case, nothing else folded.
TEST(FixedText, SameIgnoringCase) {
  EXPECT_TRUE(same_ignoring_case("PNG", "png"));
  EXPECT_TRUE(same_ignoring_case("User", "USER"));
  EXPECT_TRUE(same_ignoring_case("", ""));
  EXPECT_FALSE(same_ignoring_case("ps", "ps "));  // blanks count
  EXPECT_FALSE(same_ignoring_case("vps", "ps"));
  EXPECT_FALSE(same_ignoring_case("\xC3\xA9", "\xC3\x89"));  // é, É: bytes beyond ASCII as they are
}

}  // namespace
}  // namespace textfmt
