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
// blanks; the title keeps them). No line is longer than 80 characters.
//
// The number of value lines nz is not in the file: it is what remains after
// the header, the coordinate lines and the three to six text lines. Each way
// of reading the last lines as three texts (each one or two lines) is tried
// against the rule above, with every line before them a value line.
//   - Readings that take the same number of lines as texts leave the same
//     values, and the export writes their texts as the same lines again, so
//     whichever is taken, the file written from what was read is this file.
//     Only one pair of readings is of that kind: an 80-character x label, a
//     79-character y label and a one-character title read exactly like a
//     79-character x label, a one-character y label and an 80-character
//     title. The reader takes the second: the later text is the one that
//     goes on over two lines (a one-character y label, such as the default
//     "y", is far more common than a one-character title).
//   - Readings that take different numbers of lines as texts leave different
//     numbers of values; that needs a value line that also reads as a label
//     (a negative number in exponent form, " -1.0000000E+10") followed by a
//     79-character text and a one-character one. The one that leaves nx*ny
//     values is taken when there is one; otherwise the one that leaves the
//     most values. Here too the export writes what was read as this file
//     again, line for line: a line read as a label is written as that label.
// So whatever the export writes, the reader reads, and writing what was read
// gives the same bytes.
//
// Values are exactly the single-precision values whose decimal the file
// holds; they equal the values written when those were the single-precision
// values nearest to a decimal of 7 significant digits.
//
// Files may come from anywhere. The bytes are read as they come, never held
// whole: besides the values read (four bytes each) the reader keeps only the
// last six lines, the most that can be texts, and a buffer of 64 KiB. When
// the size of the input is known (a regular file, bytes in memory), room
// for the x, y and z values is reserved as the first of each comes, never
// more than the rest of the input can hold (a value line is 17 bytes),
// whatever counts the header announces; from a pipe or a device the values
// grow as they come. A line with no line feed within its first 82 bytes is
// an error there and then, so an endless line (/dev/zero) ends after a few
// bytes. Memory running out (an endless stream of value lines) is no error
// of the contents but the report of exhausted storage that the other calls
// give, rtl::out_of_memory(): "Out of memory", a FatalError with ENOMEM for
// a caller that takes its errors back, the program's report otherwise.
//
// Errors name the line ("line 7: not a value: \"...\"") and quote at most
// its first 40 bytes, followed by "..." when it is longer; a byte outside
// printable ASCII is shown as \r, \n, \t, \0 or \xNN, a backslash as \\ and
// a double quote as \".

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
  // A map file (mapnc/nc_map.h) read through mapnc::read_map: which kind of
  // file it was, and, for one that stores double precision values, those
  // values, exactly (x, y and z are then empty). A data file leaves these as
  // they are here.
  enum class Format { data_file, netcdf } format = Format::data_file;
  bool double_precision = false;
  std::vector<double> x_r8;
  std::vector<double> y_r8;
  std::vector<double> z_r8;
};

// Either the map read, or an error naming the line and what is wrong with it.
struct MapReadResult {
  std::optional<MapData> map;
  std::string error;  // empty when map holds the contents

  explicit operator bool() const { return map.has_value(); }
};

// Reads the data file at `path`: a regular file, or anything that can be
// opened and read (a pipe, a device). Errors begin with the path.
MapReadResult read_map_file(const std::string& path);

// Reads the bytes of a data file, by the same rules as read_map_file.
MapReadResult parse_map(std::string_view content);

}  // namespace mapdata
