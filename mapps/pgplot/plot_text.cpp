// Texts in any language over giza's PGMTXT and polygons (see plot_text.h).

#include "mapps/pgplot/plot_text.h"

#include <cpgplot.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "mapps/pgplot/font_glyphs.h"
#include "textfmt/drawn_text.h"
#include "textfmt/fixed_text.h"

namespace mapps {
namespace {

bool is_printable_ascii(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= 0x20 && b < 0x80;
}

// giza's escape for `c`, and the character giza then draws in its font
// (for raised and lowered characters the ASCII one); empty when none.
struct Escape {
  std::string text;
  char32_t drawn = 0;
};

Escape giza_escape(char32_t c) {
  // Greek letters, \g and PGPLOT's letter for each, in the order of the
  // alphabet (U+03A2 is no character, the final sigma has no escape).
  static constexpr std::string_view kGreek = "ABGDEZYHIKLMNCOPRSTUFXQW";
  for (const char32_t first : {U'\u0391', U'\u03B1'}) {
    if (c < first || c > first + 24 || c == first + 17) continue;
    const std::size_t k = c - first - (c > first + 17 ? 1 : 0);
    const char letter = first == U'\u0391' ? kGreek[k] : static_cast<char>(std::tolower(kGreek[k]));
    return {std::string("\\g") + letter, c};
  }
  // Raised and lowered characters.
  static constexpr std::pair<char32_t, char> kRaised[] = {
      {U'\u00B9', '1'}, {U'\u00B2', '2'}, {U'\u00B3', '3'}, {U'\u2070', '0'}, {U'\u2071', 'i'},
      {U'\u2074', '4'}, {U'\u2075', '5'}, {U'\u2076', '6'}, {U'\u2077', '7'}, {U'\u2078', '8'},
      {U'\u2079', '9'}, {U'\u207A', '+'}, {U'\u207B', '-'}, {U'\u207C', '='}, {U'\u207D', '('},
      {U'\u207E', ')'}, {U'\u207F', 'n'}};
  for (const auto& [raised, ascii] : kRaised)
    if (c == raised) return {std::string("\\u") + ascii + "\\d", static_cast<char32_t>(ascii)};
  if (c >= U'\u2080' && c <= U'\u208E') {
    static constexpr std::string_view kLowered = "0123456789+-=()";
    const char ascii = kLowered[c - U'\u2080'];
    return {std::string("\\d") + ascii + "\\u", static_cast<char32_t>(ascii)};
  }
  // giza's Hershey symbols that it draws as these characters.
  static constexpr std::pair<char32_t, std::string_view> kHershey[] = {
      {U'\u00B0', "2218"}, {U'\u2032', "2216"}, {U'\u2033', "2217"}, {U'\u2212', "2231"},
      {U'\u00B1', "2233"}, {U'\u2213', "2234"}, {U'\u00D7', "0727"}, {U'\u00B7', "0729"},
      {U'\u22C5', "2236"}, {U'\u00F7', "2237"}, {U'\u2260', "2239"}, {U'\u2261', "2240"},
      {U'\u221D', "2245"}, {U'\u223C', "2246"}, {U'\u221A', "2267"}, {U'\u222B', "2268"},
      {U'\u222E', "2269"}, {U'\u221E', "2270"}, {U'\u00A7', "2276"}, {U'\u2020', "2277"},
      {U'\u2021', "2278"}, {U'\u2203', "2279"}, {U'\u2282', "2256"}, {U'\u222A', "2257"},
      {U'\u2283', "2258"}, {U'\u2229', "2259"}, {U'\u2208', "2260"}, {U'\u2192', "2261"},
      {U'\u2191', "2262"}, {U'\u2190', "2263"}, {U'\u2193', "2264"}, {U'\u2207', "2266"},
      {U'\u2135', "2077"}};
  for (const auto& [symbol, number] : kHershey)
    if (c == symbol) return {"\\(" + std::string(number) + ")", c};
  return {};
}

// A part of a text to draw: text for giza (ASCII, escapes included), or one
// character filled from its outline.
struct TextPart {
  std::string giza;
  std::optional<GlyphOutline> glyph;
};

// `text` in parts; consecutive characters for giza share one part, so that a
// caller's escapes keep working across them.
std::vector<TextPart> text_parts(std::string_view text, FontGlyphs& fonts) {
  std::vector<TextPart> parts;
  const auto giza = [&parts]() -> std::string& {
    if (parts.empty() || parts.back().glyph) parts.emplace_back();
    return parts.back().giza;
  };
  for (const char32_t c : textfmt::decode_utf8(text)) {
    if (c < 0x20) {
      giza() += ' ';
    } else if (c < 0x80) {
      giza() += static_cast<char>(c);
    } else if (Escape e = giza_escape(c);
               !e.text.empty() && (e.drawn < 0x80 || fonts.first_font_has(e.drawn))) {
      giza() += e.text;
    } else if (std::optional<GlyphOutline> glyph = fonts.outline(c)) {
      parts.push_back({{}, std::move(glyph)});
    } else {
      giza() += '?';
    }
  }
  return parts;
}

// The text PGMTXT draws with its characters in parts, placed as giza places
// its annotations: along the side's edge at `coord`, `disp` character heights
// out, at 90 degrees on the left and right unless the side says "V", the
// point `fjust` of the way along the text. Everything is worked out in
// device units, where glyphs keep their shape; the giza parts are measured
// by giza itself, the glyphs by the font giza draws in, scaled to giza's
// size of that font.
void draw_text_parts(const std::string& side, float disp, float coord, float fjust,
                     const std::vector<TextPart>& parts, FontGlyphs& fonts) {
  float vx1, vx2, vy1, vy2, dx1, dx2, dy1, dy2, wx1, wx2, wy1, wy2, xch, ych;
  cpgqvp(0, &vx1, &vx2, &vy1, &vy2);
  cpgqvp(3, &dx1, &dx2, &dy1, &dy2);
  cpgqwin(&wx1, &wx2, &wy1, &wy2);
  cpgqcs(4, &xch, &ych);
  const auto has = [&side](char c) {
    return side.find(c) != std::string::npos ||
           side.find(static_cast<char>(std::tolower(c))) != std::string::npos;
  };
  float x, y;
  bool upright = true;
  if (has('B')) {
    x = wx1 + (wx2 - wx1) * coord;
    y = wy1 - ych * disp;
  } else if (has('T')) {
    x = wx1 + (wx2 - wx1) * coord;
    y = wy2 + ych * (disp - 0.5f);
  } else if (has('L') || has('R')) {
    upright = has('V');
    x = has('L') ? wx1 - xch * disp : wx2 + xch * disp;
    y = wy1 + (wy2 - wy1) * coord - (upright ? ych * 0.25f : 0.0f);
  } else {
    return;
  }
  const double sx = (static_cast<double>(dx2) - dx1) / (static_cast<double>(wx2) - wx1);
  const double sy = (static_cast<double>(dy2) - dy1) / (static_cast<double>(wy2) - wy1);
  // Width of a text as giza draws it (the advance to what follows), in
  // device units. giza gives a text of one character the width of its ink
  // instead, so texts are measured with two blanks after them.
  const auto box_width = [sx](const std::string& text) {
    float xb[4], yb[4];
    cpgqtxt(0.0f, 0.0f, 0.0f, 0.0f, text.c_str(), xb, yb);
    return (static_cast<double>(*std::max_element(xb, xb + 4)) - *std::min_element(xb, xb + 4)) *
           std::fabs(sx);
  };
  const double blanks = box_width("  ");
  const auto giza_width = [&](const std::string& text) { return box_width(text + "  ") - blanks; };
  static constexpr std::string_view kMeasure = "abcdefghijklmnopqrstuvwxyz";
  const double em = fonts.advance(kMeasure);
  const double size = em > 0 ? giza_width(std::string(kMeasure)) / em : 0;
  std::vector<double> widths;
  double total = 0;
  for (const TextPart& part : parts) {
    widths.push_back(part.glyph ? part.glyph->advance * size : giza_width(part.giza));
    total += widths.back();
  }
  // The baseline from its start, in device units, and the way up.
  const double ux = upright ? 1 : 0, uy = upright ? 0 : 1;
  const double ax = dx1 + (x - wx1) * sx - fjust * total * ux;
  const double ay = dy1 + (y - wy1) * sy - fjust * total * uy;

  // World coordinates in device units over the whole view surface, so that
  // no glyph is clipped at the viewport.
  float sx1, sx2, sy1, sy2;
  cpgsvp(0.0f, 1.0f, 0.0f, 1.0f);
  cpgqvp(3, &sx1, &sx2, &sy1, &sy2);
  cpgswin(sx1, sx2, sy1, sy2);
  int fill = 1;
  cpgqfs(&fill);
  cpgsfs(1);
  double pen = 0;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const double px = ax + pen * ux, py = ay + pen * uy;
    if (!parts[k].glyph) {
      cpgptxt(static_cast<float>(px), static_cast<float>(py), upright ? 0.0f : 90.0f, 0.0f,
              parts[k].giza.c_str());
    } else if (!parts[k].glyph->contours.empty()) {
      // One polygon: the contours one after the other, joined by bridges
      // that are walked back at the end, so that they enclose nothing.
      std::vector<float> gx, gy;
      const auto put = [&](const std::array<double, 2>& p) {
        gx.push_back(static_cast<float>(px + size * (p[0] * ux - p[1] * uy)));
        gy.push_back(static_cast<float>(py + size * (p[0] * uy + p[1] * ux)));
      };
      const auto& contours = parts[k].glyph->contours;
      for (const auto& contour : contours) {
        for (const auto& p : contour) put(p);
        put(contour.front());
      }
      for (std::size_t c = contours.size() - 1; c-- > 0;) put(contours[c].front());
      cpgpoly(static_cast<int>(gx.size()), gx.data(), gy.data());
    }
    pen += widths[k];
  }
  cpgsfs(fill);
  cpgsvp(vx1, vx2, vy1, vy2);
  cpgswin(wx1, wx2, wy1, wy2);
}

}  // namespace

std::string giza_text(std::string_view text) { return std::string(textfmt::trim(text)); }

bool is_plain(std::string_view text) {
  return std::all_of(text.begin(), text.end(), is_printable_ascii);
}

std::string plain_options(std::string_view options) {
  std::string out(textfmt::trim(options));
  std::replace_if(out.begin(), out.end(), [](char c) { return !is_printable_ascii(c); }, ' ');
  return out;
}

void draw_text(const std::string& side, float disp, float coord, float fjust,
               const std::string& text) {
  if (is_plain(text)) {
    cpgmtxt(side.c_str(), disp, coord, fjust, text.c_str());
    return;
  }
  int font = 1;
  cpgqcf(&font);
  FontGlyphs& fonts = font_glyphs(font);
  const std::vector<TextPart> parts = text_parts(text, fonts);
  if (parts.size() == 1 && !parts.front().glyph) {
    cpgmtxt(side.c_str(), disp, coord, fjust, parts.front().giza.c_str());
    return;
  }
  draw_text_parts(side, disp, coord, fjust, parts, fonts);
}

}  // namespace mapps
