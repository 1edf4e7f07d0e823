#pragma once
// Texts drawn through giza on the open device: labels in any language, and
// option strings as giza takes them.
//
// giza 1.3.2 hands each byte of a character beyond ASCII to cairo on its
// own; cairo refuses such broken UTF-8 and then draws no more text on the
// page. So no byte beyond ASCII reaches giza: a character goes through one
// of giza's escapes where one draws it (\g Greek letters, \u...\d raised and
// \d...\u lowered characters, \(nnnn) symbols) and giza's font has it, else
// it is filled as a polygon from its outline in giza's font or the first
// font fontconfig offers for it, at giza's size and place for the text, else
// it is drawn as "?". Control characters are drawn as blanks, bytes that are
// no UTF-8 as U+FFFD.

#include <string>
#include <string_view>

namespace mapps {

// A text as giza takes it: NUL-terminated, trailing blanks dropped (PGPLOT
// ignores them; giza would centre a label on its blanks too).
std::string giza_text(std::string_view text);

// Whether giza can take `text` as it is: printable ASCII only.
bool is_plain(std::string_view text);

// Option letters (PGBOX's, the wedge's side) as giza takes them: anything but
// printable ASCII is no option and becomes a blank, which giza ignores.
std::string plain_options(std::string_view options);

// PGMTXT of a UTF-8 text: at `side` ("B", "T", "L", "R", with "V" upright on
// the left and right), `disp` character heights out, `coord` of the way along
// that side, the point `fjust` of the way along the text. A text of printable
// ASCII reaches giza as it is, so a caller's escapes keep working.
void draw_text(const std::string& side, float disp, float coord, float fjust,
               const std::string& text);

}  // namespace mapps
