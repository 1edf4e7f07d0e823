#pragma once
// Texts as the drawings show them. Labels and titles are UTF-8; the data file
// keeps their bytes as given, while the screen map and the PostScript map
// draw their characters.

#include <string>
#include <string_view>

namespace textfmt {

// What a byte that begins no valid character is drawn as.
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// The characters of a UTF-8 text. Each maximal part of the bytes that cannot
// be read as a character (a stray continuation byte, an overlong form, a
// surrogate, a value beyond U+10FFFF, a sequence broken off) gives one
// U+FFFD, the way Qt and web browsers read such bytes.
std::u32string decode_utf8(std::string_view text);

// Appends the UTF-8 bytes of `c` (a code point up to U+10FFFF).
void append_utf8(std::string& out, char32_t c);

// Removes the last character of UTF-8 `text`: all the bytes of one that
// ends it, else its last byte.
void pop_character(std::string& text);

// A label or title field as the drawings take it: valid UTF-8 in which
// U+FFFD stands for bytes that begin no character and blanks stand for the
// control characters U+0000 to U+001F (line feeds, tabs ...). A character
// whose bytes the field's 80-byte length broke off (an incomplete sequence
// that ends at the field's last byte) is not drawn at all: blanks take its
// place. A field of printable ASCII comes back unchanged.
std::string drawn_text(std::string_view field);

}  // namespace textfmt
