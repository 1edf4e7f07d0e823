#pragma once
// FontList: the fonts a window can select, and the option texts that select
// them.
//
// An option text such as "t'modern'h14w9" names a face (t'...'), a character
// height (h) and a character width (w) in pixels; letters are read without
// regard to case, trailing blanks are ignored. The faces "Tms Rmn", "Helv"
// and "Courier" stand for "Times New Roman", "Arial" and "Courier New".
// The list is searched in order for the first font of that face (compared
// without regard to case): a scalable font is taken at once with the
// requested size; a fixed-size font only when its height and width equal the
// requested ones (a dimension not requested always matches).
//
// The list holds, in this order:
//   "Modern"   scalable, drawn with a sans-serif face (DejaVu Sans);
//   "Terminal" fixed-size, one entry per size of a console font, 12 x 8
//              among them, drawn with a monospace face (DejaVu Sans Mono);
//   then every scalable face of the system's font database.
// This system runs where neither "Modern" nor "Terminal" exists as a face,
// so the two named entries stand in for them with the nearest faces there.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gfxwin {

// What an option text asks for; 0 = not requested.
struct FontRequest {
  std::string face;  // "" = any face
  int height = 0;
  int width = 0;
  bool valid = true;  // false: an unterminated or too long face name
};

// "t'Terminal'h12w8" -> {"Terminal", 12, 8}; "T'tms rmn'H10" -> {"Times New Roman", 10, 0}.
FontRequest parse_font_options(std::string_view options);

struct FontEntry {
  std::string face;    // the name selected by
  std::string family;  // the face it is drawn with
  bool scalable = true;
  int height = 0;  // fixed-size fonts: character height and width in pixels
  int width = 0;
};

// A selected font: the list entry and the size it is drawn at.
struct FontChoice {
  int index = -1;
  std::string family;
  int pixel_height = 16;
  int stretch = 100;  // horizontal stretch in percent, giving the requested width
};

class FontList {
 public:
  // The list of this system, built once (it needs Qt's font database; a
  // QGuiApplication is created when none exists yet).
  static const FontList& system();

  // A list of the given entries (tests).
  explicit FontList(std::vector<FontEntry> entries) : entries_(std::move(entries)) {}

  const std::vector<FontEntry>& entries() const { return entries_; }
  int size() const { return static_cast<int>(entries_.size()); }

  // The index of the first entry that qualifies for the request, or -1.
  int find(const FontRequest& request) const;
  // find() and the size to draw at; none when nothing qualifies.
  std::optional<FontChoice> select(std::string_view options) const;
  // The font left selected by initialisation: "Terminal" 16 x 8, the cell
  // of the text window.
  std::optional<FontChoice> default_font() const;
  // The font of console text: the "Terminal" face sized for the 8 x 16
  // pixel cells of the text window.
  FontChoice console_font() const;

 private:
  std::optional<FontChoice> choose(int index, const FontRequest& request) const;

  std::vector<FontEntry> entries_;
};

// Creates a QGuiApplication (offscreen platform) when no application
// exists, so that fonts can be measured and drawn without the windowing
// runtime; the application then lives until the program ends.
void ensure_font_support();

}  // namespace gfxwin
