#include "maparg/palette.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace maparg {
namespace {

constexpr std::int32_t rgb(int r, int g, int b) { return r | g << 8 | b << 16; }

ColourTable table_of(const OptPalette& p) {
  std::string warning;
  ColourTable t = colour_table(p, warning);
  EXPECT_EQ(warning, "");
  return t;
}

TEST(Palette, GreyIsTheRampOfEveryLevel) {
  for (const OptPalette& p : {OptPalette(), OptPalette("grey"), OptPalette("GREY")}) {
    const auto colours = level_colours(table_of(p));
    for (int level = 0; level < 256; ++level) ASSERT_EQ(colours[level], level * 65793) << level;
  }
  const ColourTable grey = grey_table();
  EXPECT_EQ(grey.level, (std::vector<float>{0, 1}));
  EXPECT_EQ(grey.red, (std::vector<float>{0, 1}));
}

TEST(Palette, BuiltInsByNameInEitherCaseAndReversed) {
  for (const std::string_view name : palette_names()) {
    SCOPED_TRACE(name);
    const ColourTable t = table_of(name);
    ASSERT_GE(t.size(), 2);
    EXPECT_EQ(t.level.front(), 0.0f);
    EXPECT_EQ(t.level.back(), 1.0f);
    for (int k = 1; k < t.size(); ++k) EXPECT_LT(t.level[k - 1], t.level[k]);
    std::string upper(name), reversed = std::string(name) + "_R";
    for (char& c : upper) c = static_cast<char>(std::toupper(c));
    EXPECT_EQ(level_colours(table_of(std::string_view(upper))), level_colours(t));
    const auto forward = level_colours(t);
    const auto backward = level_colours(table_of(std::string_view(reversed)));
    EXPECT_EQ(backward[0], forward[255]);
    EXPECT_EQ(backward[255], forward[0]);
  }
  EXPECT_EQ(palette_names().size(), 8u);
  // Blanks around a name, as a Fortran text has them, do not count.
  EXPECT_EQ(level_colours(table_of("  magma   ")), level_colours(table_of("magma")));
}

TEST(Palette, KnownColoursOfTheBuiltIns) {
  const auto heat = level_colours(table_of("heat"));
  EXPECT_EQ(heat[0], rgb(0, 0, 0));
  EXPECT_EQ(heat[85], rgb(255, 0, 0));  // a third of the way: red
  EXPECT_EQ(heat[170], rgb(255, 255, 0));
  EXPECT_EQ(heat[255], rgb(255, 255, 255));
  const auto viridis = level_colours(table_of("viridis"));
  EXPECT_EQ(viridis[0], rgb(0x44, 0x01, 0x54));
  EXPECT_EQ(viridis[255], rgb(0xFD, 0xE7, 0x25));
  const auto cividis_r = level_colours(table_of("cividis_r"));
  EXPECT_EQ(cividis_r[0], rgb(0xFE, 0xE8, 0x38));
  // The diverging tables: their ends, and a grey centre.
  const auto coolwarm = level_colours(table_of("coolwarm"));
  EXPECT_EQ(coolwarm[0], rgb(59, 76, 192));
  EXPECT_EQ(coolwarm[255], rgb(180, 4, 38));
  const auto rdbu = level_colours(table_of("rdbu"));
  EXPECT_EQ(rdbu[0], rgb(0x67, 0x00, 0x1F));
  EXPECT_EQ(rdbu[255], rgb(0x05, 0x30, 0x61));
  const auto centre = colour_at(table_of("coolwarm"), 0.5);
  EXPECT_NEAR(centre[0], 221 / 255.0, 1e-6);
  EXPECT_NEAR(centre[2], 221 / 255.0, 1e-6);
}

TEST(Palette, PointsOfTheCallersOwnAreInterpolated) {
  const std::vector<PalettePoint> points = {{0.25f, 1, 0, 0}, {0.75f, 0, 0.5f, 1}};
  const ColourTable t = table_of(std::span<const PalettePoint>(points));
  EXPECT_EQ(t.level, (std::vector<float>{0.25f, 0.75f}));
  const auto colours = level_colours(t);
  EXPECT_EQ(colours[0], rgb(255, 0, 0));  // below the first level: the first colour
  EXPECT_EQ(colours[63], rgb(255, 0, 0));
  EXPECT_EQ(colours[255], rgb(0, 128, 255));  // above the last: the last colour
  // Half-way: the mean of the two.
  const auto mid = colour_at(t, 0.5);
  EXPECT_DOUBLE_EQ(mid[0], 0.5);
  EXPECT_DOUBLE_EQ(mid[1], 0.25);
  EXPECT_DOUBLE_EQ(mid[2], 0.5);
  // Level L of a ramp from 0 to 1: red falls as 255 - L, green rises as L / 2.
  const std::vector<PalettePoint> ramp = {{0, 1, 0, 0}, {1, 0, 0.5f, 1}};
  const auto ramp_colours = level_colours(table_of(std::span<const PalettePoint>(ramp)));
  EXPECT_EQ(ramp_colours[100], rgb(155, 50, 100));
  EXPECT_EQ(ramp_colours[101], rgb(154, 51, 101));  // green 50.5 rounds up
}

TEST(Palette, UnusablePalettesGiveGreyAndAWarning) {
  const std::string points_warning =
      " Warning: palette points invalid (two or more, levels increasing within 0 .. 1,"
      " intensities within 0 .. 1), grey used !!!";
  const float nan = std::nanf("");
  const std::vector<std::vector<PalettePoint>> bad = {
      {},
      {{0, 0, 0, 0}},
      {{0, 0, 0, 0}, {0, 1, 1, 1}},          // levels not increasing
      {{0.5f, 0, 0, 0}, {0.25f, 1, 1, 1}},   // decreasing
      {{0, 0, 0, 0}, {1, 1.5f, 1, 1}},       // intensity above 1
      {{0, 0, -0.1f, 0}, {1, 1, 1, 1}},      // below 0
      {{-0.5f, 0, 0, 0}, {1, 1, 1, 1}},      // level outside 0 .. 1
      {{0, 0, 0, 0}, {nan, 1, 1, 1}},
      {{0, 0, 0, nan}, {1, 1, 1, 1}},
  };
  for (const auto& points : bad) {
    std::string warning;
    const ColourTable t = colour_table(std::span<const PalettePoint>(points), warning);
    EXPECT_EQ(warning, points_warning) << points.size();
    EXPECT_EQ(level_colours(t), level_colours(grey_table()));
  }
  std::string warning;
  EXPECT_EQ(colour_table("plasma", warning).size(), 2);
  EXPECT_EQ(warning, " Warning: unknown palette plasma, grey used !!!");
  colour_table("viridis_rr", warning);
  EXPECT_EQ(warning, " Warning: unknown palette viridis_rr, grey used !!!");
  colour_table("", warning);
  EXPECT_EQ(warning, " Warning: unknown palette , grey used !!!");
  colour_table("heat", warning);
  EXPECT_EQ(warning, "");  // cleared by a usable palette
}

TEST(Palette, UsableRanges) {
  EXPECT_TRUE(usable_range(0, 1e-30));
  EXPECT_FALSE(usable_range(1, 1));
  EXPECT_FALSE(usable_range(2, 1));
  EXPECT_FALSE(usable_range(std::nan(""), 1));
  EXPECT_FALSE(usable_range(0, INFINITY));
  EXPECT_FALSE(usable_range(-INFINITY, 0));
}

}  // namespace
}  // namespace maparg
