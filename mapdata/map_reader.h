#pragma once
// Reading a data file written by the data export back into its parts.
//
// Layout rule. Every line ends with carriage return and line feed. Line 1
// holds nx, ny and 1 in three 12-column integer fields. Then come nx x
// lines, ny y lines and the value lines, each exactly 15 characters holding
// one number ("Infinity" and "NaN" with their sign included), then the three
// texts. A text line begins with a blank; a text of 80 characters takes two
// lines: an 80-character line and a continuation line of a blank and one
// non-blank character. A text line never ends with a blank (the texts are
// written without trailing blanks; an empty text is the single blank), and a
// label line has no second blank at its start (labels lose their leading
// blanks; the title keeps them).
//
// The number of value lines nz is not in the file: it is what remains after
// the header, the coordinate lines and the three to six text lines. Each way
// of reading the last lines as three texts (each one or two lines) is tried
// against the rule above, with every line before them a value line. Mostly
// exactly one reading fits. Where several do, the one that leaves nx*ny
// values is taken when it is the only such; otherwise the file is reported
// as ambiguous rather than guessed at. That happens only with a
// 79-character text followed by a one-character one: an 80-character x
// label, a 79-character y label and a one-character title read exactly like
// a 79-character x label, a one-character y label and an 80-character title.
//
// Values are exactly the single-precision values whose decimal the file
// holds; they equal the values written when those were the single-precision
// values nearest to a decimal of 7 significant digits.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mapdata {

// The contents of a data file.
struct MapData {
  std::int32_t nx = 0;
  std::int32_t ny = 0;
  std::vector<float> x;  // nx values
  std::vector<float> y;  // ny values
  std::vector<float> z;  // all value lines, nz of them (nz may differ from nx*ny)
  std::string xlabel;    // the texts as written, without the line's leading blank
  std::string ylabel;
  std::string title;
};

// Either the map read, or an error naming the line and what is wrong with it.
struct MapReadResult {
  std::optional<MapData> map;
  std::string error;  // empty when map holds the contents

  explicit operator bool() const { return map.has_value(); }
};

// Reads the data file at `path`. Errors begin with the path.
MapReadResult read_map_file(const std::string& path);

// Reads the bytes of a data file.
MapReadResult parse_map(std::string_view content);

}  // namespace mapdata
