#include "textfmt/drawn_text.h"

#include <gtest/gtest.h>

#include "textfmt/fixed_text.h"

namespace textfmt {
namespace {

TEST(DrawnText, DecodesUtf8AndReplacesEachBrokenPartOnce) {
  EXPECT_EQ(decode_utf8("Gr\xC3\xB6\xC3\x9F" "e"), U"Größe");
  EXPECT_EQ(decode_utf8("\xCE\xBC [m\xC2\xB2]"), U"μ [m²]");
  EXPECT_EQ(decode_utf8("\xF0\x9F\x8C\x8D"), U"\U0001F30D");
  // Latin-1 bytes, a stray continuation byte, an overlong '/', a surrogate,
  // beyond U+10FFFF, a sequence broken off by the next character.
  EXPECT_EQ(decode_utf8("Temp\xE9rature"), U"Temp\uFFFDrature");
  EXPECT_EQ(decode_utf8("a\x80" "b"), U"a\uFFFDb");
  EXPECT_EQ(decode_utf8("\xC0\xAF"), U"\uFFFD\uFFFD");
  EXPECT_EQ(decode_utf8("\xED\xA0\x80"), U"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(decode_utf8("\xF4\x90\x80\x80"), U"\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(decode_utf8("\xE2\x82" "C"), U"\uFFFDC");
  EXPECT_EQ(decode_utf8("\xE2\x82"), U"\uFFFD");
  std::string all;
  for (const char32_t c : {U'a', U'é', U'€', U'\U0010FFFF'}) append_utf8(all, c);
  EXPECT_EQ(decode_utf8(all), U"aé€\U0010FFFF");
}

TEST(DrawnText, ControlsAreBlanksAndAsciiStaysAsItIs) {
  const std::string ascii = assign_fixed("Temperature \\gm");
  EXPECT_EQ(drawn_text(ascii), ascii);
  EXPECT_EQ(drawn_text("a\nb\r\tc"), "a b  c");
  EXPECT_EQ(drawn_text(std::string("a\0b", 3)), "a b");
  EXPECT_EQ(drawn_text("Temp\xE9rature"), "Temp\xEF\xBF\xBDrature");
  EXPECT_EQ(drawn_text("\xC2\xB0" "C"), "\xC2\xB0" "C");
}

TEST(DrawnText, ACharacterTheFieldBrokeOffIsDropped) {
  const std::string head(78, 'a');
  // The first two of the three bytes of the euro sign, and the first of two.
  EXPECT_EQ(drawn_text(head + "\xE2\x82"), head + "  ");
  EXPECT_EQ(drawn_text(std::string(79, 'a') + "\xC3"), std::string(79, 'a') + " ");
  EXPECT_EQ(drawn_text(std::string(77, 'a') + "\xF0\x9F\x8C"), std::string(77, 'a') + "   ");
  // Whole at the end, or broken inside the field or in a shorter text: U+FFFD.
  EXPECT_EQ(drawn_text(std::string(77, 'a') + "\xE2\x82\xAC"), std::string(77, 'a') + "€");
  EXPECT_EQ(drawn_text(head + "\xE2" "a"), head + "\uFFFD" "a");
  EXPECT_EQ(drawn_text("ab\xE2\x82"), "ab\uFFFD");
  // A stray byte at the end is no broken-off character.
  EXPECT_EQ(drawn_text(std::string(79, 'a') + "\x80"), std::string(79, 'a') + "\uFFFD");
}

}  // namespace
}  // namespace textfmt
