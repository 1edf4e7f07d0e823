#pragma once
// Glyph outlines of the system's fonts, for the characters of a label that
// the PGPLOT interface cannot draw: the PostScript map fills them as polygons.
// The fonts are those fontconfig offers for a family, best first, as cairo
// asks for them: the first is the font giza draws the family's texts in.

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mapps {

// A glyph in units of the font's em, its origin on the baseline at the start
// of the character, y upwards.
struct GlyphOutline {
  std::vector<std::vector<std::array<double, 2>>> contours;  // closed, curves flattened
  double advance = 0;  // to the next character's origin
};

class FontGlyphs {
 public:
  // The fonts of `family` ("Times", "Arial" ...), upright or italic.
  FontGlyphs(const std::string& family, bool italic);
  ~FontGlyphs();
  FontGlyphs(const FontGlyphs&) = delete;
  FontGlyphs& operator=(const FontGlyphs&) = delete;

  // Whether the first font has a glyph for `c`.
  bool first_font_has(char32_t c);
  // The outline of `c` from the first font that has it; none when no font has.
  std::optional<GlyphOutline> outline(char32_t c);
  // The advance of ASCII `text` in the first font, in em (0 without a font).
  double advance(std::string_view text);

 private:
  struct Fonts;
  std::unique_ptr<Fonts> fonts_;
};

// The glyphs for PGPLOT's font number (1 normal, 2 roman, 3 italic, 4 script),
// the families giza draws them in; made once and kept.
FontGlyphs& font_glyphs(int pgplot_font);

}  // namespace mapps
