#include "mapps/pgplot/font_glyphs.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <cmath>

namespace mapps {
namespace {

// Curves are flattened into this many straight pieces: at label sizes a
// piece is a fraction of a device unit long.
constexpr int kCurvePieces = 8;

// Glyphs in font units as designed: no hinting, no bitmaps.
constexpr FT_Int32 kUnscaled = FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP;

struct Point {
  double x, y;
};

Point point(const FT_Vector* v) { return {static_cast<double>(v->x), static_cast<double>(v->y)}; }

// Collects an outline as contours of points in font units.
struct OutlineSink {
  std::vector<std::vector<std::array<double, 2>>> contours;
  Point at{0, 0};

  void add(Point p) {
    contours.back().push_back({p.x, p.y});
    at = p;
  }
  static int move_to(const FT_Vector* to, void* user) {
    auto* s = static_cast<OutlineSink*>(user);
    s->contours.emplace_back();
    s->add(point(to));
    return 0;
  }
  static int line_to(const FT_Vector* to, void* user) {
    static_cast<OutlineSink*>(user)->add(point(to));
    return 0;
  }
  static int conic_to(const FT_Vector* control, const FT_Vector* to, void* user) {
    auto* s = static_cast<OutlineSink*>(user);
    const Point p0 = s->at, c = point(control), p1 = point(to);
    for (int k = 1; k <= kCurvePieces; ++k) {
      const double t = static_cast<double>(k) / kCurvePieces, u = 1 - t;
      s->add({u * u * p0.x + 2 * u * t * c.x + t * t * p1.x,
              u * u * p0.y + 2 * u * t * c.y + t * t * p1.y});
    }
    return 0;
  }
  static int cubic_to(const FT_Vector* control1, const FT_Vector* control2, const FT_Vector* to,
                      void* user) {
    auto* s = static_cast<OutlineSink*>(user);
    const Point p0 = s->at, c1 = point(control1), c2 = point(control2), p1 = point(to);
    for (int k = 1; k <= kCurvePieces; ++k) {
      const double t = static_cast<double>(k) / kCurvePieces, u = 1 - t;
      s->add({u * u * u * p0.x + 3 * u * u * t * c1.x + 3 * u * t * t * c2.x + t * t * t * p1.x,
              u * u * u * p0.y + 3 * u * u * t * c1.y + 3 * u * t * t * c2.y + t * t * t * p1.y});
    }
    return 0;
  }
};

}  // namespace

struct FontGlyphs::Fonts {
  FT_Library library = nullptr;
  struct Face {
    std::string file;
    int index = 0;
    FT_Face face = nullptr;
    bool tried = false;
  };
  std::vector<Face> faces;

  // The face of font k, opened on first use; nullptr when it cannot be read.
  FT_Face face(std::size_t k) {
    Face& f = faces[k];
    if (!f.tried && library != nullptr) {
      f.tried = true;
      if (FT_New_Face(library, f.file.c_str(), f.index, &f.face) != 0 ||
          !FT_IS_SCALABLE(f.face)) {
        if (f.face != nullptr) FT_Done_Face(f.face);
        f.face = nullptr;
      }
    }
    return f.face;
  }
};

FontGlyphs::FontGlyphs(const std::string& family, bool italic) : fonts_(std::make_unique<Fonts>()) {
  if (FT_Init_FreeType(&fonts_->library) != 0) fonts_->library = nullptr;
  if (FcInit() == FcFalse) return;
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_NORMAL);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  if (FcFontSet* set = FcFontSort(nullptr, pattern, FcTrue, nullptr, &result)) {
    for (int k = 0; k < set->nfont; ++k) {
      FcChar8* file = nullptr;
      int index = 0;
      if (FcPatternGetString(set->fonts[k], FC_FILE, 0, &file) != FcResultMatch) continue;
      FcPatternGetInteger(set->fonts[k], FC_INDEX, 0, &index);
      fonts_->faces.push_back({reinterpret_cast<const char*>(file), index});
    }
    FcFontSetDestroy(set);
  }
  FcPatternDestroy(pattern);
}

FontGlyphs::~FontGlyphs() {
  for (auto& f : fonts_->faces)
    if (f.face != nullptr) FT_Done_Face(f.face);
  if (fonts_->library != nullptr) FT_Done_FreeType(fonts_->library);
}

bool FontGlyphs::first_font_has(char32_t c) {
  if (fonts_->faces.empty()) return false;
  const FT_Face face = fonts_->face(0);
  return face != nullptr && FT_Get_Char_Index(face, c) != 0;
}

std::optional<GlyphOutline> FontGlyphs::outline(char32_t c) {
  for (std::size_t k = 0; k < fonts_->faces.size(); ++k) {
    const FT_Face face = fonts_->face(k);
    if (face == nullptr) continue;
    const FT_UInt index = FT_Get_Char_Index(face, c);
    if (index == 0) continue;
    if (FT_Load_Glyph(face, index, kUnscaled) != 0 ||
        face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
      continue;
    OutlineSink sink;
    const FT_Outline_Funcs funcs = {OutlineSink::move_to, OutlineSink::line_to,
                                    OutlineSink::conic_to, OutlineSink::cubic_to, 0, 0};
    if (FT_Outline_Decompose(&face->glyph->outline, &funcs, &sink) != 0) continue;
    const double em = face->units_per_EM;
    GlyphOutline glyph;
    glyph.advance = static_cast<double>(face->glyph->advance.x) / em;
    for (auto& contour : sink.contours) {
      if (contour.size() < 3) continue;
      for (auto& p : contour) p = {p[0] / em, p[1] / em};
      glyph.contours.push_back(std::move(contour));
    }
    return glyph;
  }
  return std::nullopt;
}

double FontGlyphs::advance(std::string_view text) {
  if (fonts_->faces.empty()) return 0;
  const FT_Face face = fonts_->face(0);
  if (face == nullptr) return 0;
  double sum = 0;
  for (const char c : text) {
    const FT_UInt index = FT_Get_Char_Index(face, static_cast<unsigned char>(c));
    if (FT_Load_Glyph(face, index, kUnscaled) == 0)
      sum += static_cast<double>(face->glyph->advance.x);
  }
  return sum / face->units_per_EM;
}

FontGlyphs& font_glyphs(int pgplot_font) {
  // giza's families for PGPLOT's fonts, each looked up when first needed.
  switch (pgplot_font) {
    case 2: {
      static FontGlyphs roman("Times", false);
      return roman;
    }
    case 3: {
      static FontGlyphs italic("Times", true);
      return italic;
    }
    case 4: {
      static FontGlyphs script("Cursive", false);
      return script;
    }
    default: {
      static FontGlyphs normal("Arial", false);
      return normal;
    }
  }
}

}  // namespace mapps
