#include "maparg/palette.h"

#include <cmath>

#include "textfmt/fixed_text.h"

namespace maparg {
namespace {

// A built-in table: its control points as a colour in hex, 0xRRGGBB, at
// evenly spaced levels from 0 to 1.
struct BuiltIn {
  std::string_view name;
  std::vector<std::uint32_t> colours;
};

const std::vector<BuiltIn>& built_ins() {
  static const std::vector<BuiltIn> tables = {
      {"grey", {0x000000, 0xFFFFFF}},
      {"heat", {0x000000, 0xFF0000, 0xFFFF00, 0xFFFFFF}},
      {"rainbow", {0x8000FF, 0x0000FF, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFF0000}},
      {"viridis",
       {0x440154, 0x472D7B, 0x3B528B, 0x2C728E, 0x21908C, 0x27AD81, 0x5DC863, 0xAADC32,
        0xFDE725}},
      {"magma",
       {0x000004, 0x1D1147, 0x51127C, 0x822681, 0xB63679, 0xE65164, 0xFB8861, 0xFEC287,
        0xFCFDBF}},
      {"cividis",
       {0x00224E, 0x123570, 0x3B496C, 0x575D6D, 0x707173, 0x8A8779, 0xA69D75, 0xC4B56C,
        0xFEE838}},
      // Diverging, for values of both signs around a centre: Moreland's cool
      // to warm table of 33 points, and ColorBrewer's red to blue of 11.
      {"coolwarm",
       {0x3B4CC0, 0x445ACC, 0x4D68D7, 0x5775E1, 0x6282EA, 0x6C8EF1, 0x779AF7, 0x82A5FB,
        0x8DB0FE, 0x98B9FF, 0xA3C2FF, 0xAEC9FD, 0xB8D0F9, 0xC2D5F4, 0xCCD9EE, 0xD5DBE6,
        0xDDDDDD, 0xE5D8D1, 0xECD3C5, 0xF1CCB9, 0xF5C4AD, 0xF7BBA0, 0xF7B194, 0xF7A687,
        0xF49A7B, 0xF18D6F, 0xEC7F63, 0xE57058, 0xDE604D, 0xD55042, 0xCB3E38, 0xC0282F,
        0xB40426}},
      {"RdBu",
       {0x67001F, 0xB2182B, 0xD6604D, 0xF4A582, 0xFDDBC7, 0xF7F7F7, 0xD1E5F0, 0x92C5DE,
        0x4393C3, 0x2166AC, 0x053061}},
  };
  return tables;
}

float intensity(std::uint32_t colour, int shift) {
  return static_cast<float>((colour >> shift) & 0xFF) / 255.0f;
}

ColourTable table_of(const BuiltIn& b, bool reversed) {
  ColourTable t;
  const std::size_t n = b.colours.size();
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint32_t c = b.colours[reversed ? n - 1 - k : k];
    // Level k / (n - 1), exactly 0 and 1 at the ends.
    t.level.push_back(k + 1 == n ? 1.0f : static_cast<float>(k) / static_cast<float>(n - 1));
    t.red.push_back(intensity(c, 16));
    t.green.push_back(intensity(c, 8));
    t.blue.push_back(intensity(c, 0));
  }
  return t;
}

bool within_unit(float v) { return v >= 0.0f && v <= 1.0f; }  // false for a NaN

bool usable_points(std::span<const PalettePoint> points) {
  if (points.size() < 2) return false;
  for (std::size_t k = 0; k < points.size(); ++k) {
    const PalettePoint& p = points[k];
    if (!within_unit(p.level) || !within_unit(p.red) || !within_unit(p.green) ||
        !within_unit(p.blue))
      return false;
    if (k > 0 && !(points[k - 1].level < p.level)) return false;
  }
  return true;
}

}  // namespace

ColourTable grey_table() { return table_of(built_ins().front(), false); }

std::span<const std::string_view> palette_names() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> out;
    for (const BuiltIn& b : built_ins()) out.push_back(b.name);
    return out;
  }();
  return names;
}

ColourTable colour_table(const OptPalette& palette, std::string& warning) {
  warning.clear();
  if (!palette) return grey_table();
  if (const auto* given = std::get_if<std::string_view>(&*palette)) {
    const std::string_view name = textfmt::strip(*given);
    constexpr std::string_view kReversed = "_r";
    for (const BuiltIn& b : built_ins()) {
      if (textfmt::same_ignoring_case(name, b.name)) return table_of(b, false);
      if (name.size() == b.name.size() + kReversed.size() &&
          textfmt::same_ignoring_case(name.substr(0, b.name.size()), b.name) &&
          textfmt::same_ignoring_case(name.substr(b.name.size()), kReversed))
        return table_of(b, true);
    }
    warning = " Warning: unknown palette " + std::string(name) + ", grey used !!!";
    return grey_table();
  }
  const auto points = std::get<std::span<const PalettePoint>>(*palette);
  if (!usable_points(points)) {
    warning =
        " Warning: palette points invalid (two or more, levels increasing within 0 .. 1,"
        " intensities within 0 .. 1), grey used !!!";
    return grey_table();
  }
  ColourTable t;
  for (const PalettePoint& p : points) {
    t.level.push_back(p.level);
    t.red.push_back(p.red);
    t.green.push_back(p.green);
    t.blue.push_back(p.blue);
  }
  return t;
}

std::array<double, 3> colour_at(const ColourTable& t, double position) {
  const int n = t.size();
  const auto point = [&t](int k) {
    return std::array<double, 3>{t.red[k], t.green[k], t.blue[k]};
  };
  if (!(position >= t.level[0])) return point(0);  // below the first level, or no number
  if (position >= t.level[n - 1]) return point(n - 1);
  int k = 1;
  while (!(position < t.level[k])) ++k;
  const double fraction =
      (position - t.level[k - 1]) / (static_cast<double>(t.level[k]) - t.level[k - 1]);
  const std::array<double, 3> a = point(k - 1), b = point(k);
  return {a[0] + fraction * (b[0] - a[0]), a[1] + fraction * (b[1] - a[1]),
          a[2] + fraction * (b[2] - a[2])};
}

std::array<std::int32_t, 256> level_colours(const ColourTable& table) {
  std::array<std::int32_t, 256> colours{};
  const auto byte = [](double v) {
    const double scaled = std::floor(v * 255 + 0.5);
    return static_cast<std::int32_t>(scaled < 0 ? 0 : scaled > 255 ? 255 : scaled);
  };
  for (int level = 0; level < 256; ++level) {
    const std::array<double, 3> c = colour_at(table, level / 255.0);
    colours[level] = byte(c[0]) | byte(c[1]) << 8 | byte(c[2]) << 16;
  }
  return colours;
}

bool usable_range(double lo, double hi) {
  return std::isfinite(lo) && std::isfinite(hi) && lo < hi;
}

}  // namespace maparg
