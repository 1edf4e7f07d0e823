#pragma once
// The data export: a map z = z(x, y) written to a plain text data file.
//
// The file ("Map.dat" unless named) holds, one list-directed record a line,
// each line ended by carriage return and line feed:
//   nx, ny and the constant 1                 (three 12-column integers)
//   x(1) .. x(nx), y(1) .. y(ny), z(1) .. z(nz) (one 15-column real a line)
//   the x label, the y label, the title       (a blank and the text; an
//                                              80-character text takes a
//                                              second line: a blank and its
//                                              last character)
// z is flat, x index fastest: the value at (x(i), y(j)) is z((j-1)*nx + i).
// Afterwards the console shows " Output in <file name>".
//
// Texts are 80-character fields: an absent text gives the default ("x", "y",
// "Representation of z=z(x,y)", "Map.dat"), a present one replaces it even
// when empty; labels lose their leading blanks, the title and the file name
// are taken as given (the file name is opened without its surrounding
// blanks). The file name is used whole, whatever its length; one holding a
// NUL byte ends the program with "File name holds a NUL byte: a\0b" before
// anything is written. Under the log option (lowest bit set) the file holds log10 of the
// values and the title becomes "log(<title>)".
//
// Line breaks in texts: each carriage return and line feed of a label or
// title becomes a blank before anything else is done with the text, so a
// text never breaks its line. A label that begins with them loses them with
// its leading blanks (a label line still never starts with two blanks), a
// text that ends with them loses them with its trailing blanks, and one
// inside a text is a blank there. Every other byte is written as it is.
// read_map_file (map_reader.h) reads every file written here into values and
// texts that, written again, give the same bytes; only when z does not hold
// nx*ny values can one rare layout read in two ways, which it reports.
//
// Warnings go on: when z does not hold nx*ny values the console shows
// " Warning: incompatible array sizes !!!" before the file is written with
// every value of z. Fatal, ending the program with nothing on disk changed:
// a value of zero or below under the log option ("log10: SING error",
// "log10: DOMAIN error"), a blank file name, a file that cannot be created,
// opened, written or closed (a write-protected file, a loop of symbolic
// links, a full file system: the report names the file and the reason), a
// vector longer than a header integer can count, storage that cannot be
// obtained ("Out of memory"). Work stopped through rtl::check_interruption()
// (rtl/fatal.h) leaves nothing on disk changed either. The file is written
// under a temporary name and renamed over any earlier one only once
// complete; it keeps the earlier file's permissions, and a symbolic link is
// followed to the file it names (rtl/safe_file.h).
//
// Values are written with 7 significant digits (8 in exponent form), so a
// value survives the file exactly when it is the single-precision value
// nearest to a decimal of that many digits. A double value beyond the
// single-precision range is written as "Infinity" (with its sign).

#include <optional>
#include <string_view>

#include "maparg/text_fields.h"
#include "maparg/views.h"

namespace mapdata {

inline constexpr std::string_view kDefaultFileName = "Map.dat";
// The title dat_map_r8 gives when none is passed.
inline constexpr std::string_view kDefaultTitleR8 = "Representation of y=y(x)";

// The base form: single-precision coordinates, z a flat vector.
void dat_map(maparg::VecView<float> x, maparg::VecView<float> y, maparg::VecView<float> z,
             std::optional<int> log_option = std::nullopt, maparg::OptText xlabel = std::nullopt,
             maparg::OptText ylabel = std::nullopt, maparg::OptText title = std::nullopt,
             maparg::OptText file = std::nullopt);

// Double precision, z flat; values rounded to single precision. The default
// title is kDefaultTitleR8.
void dat_map_r8(maparg::VecView<double> x, maparg::VecView<double> y, maparg::VecView<double> z,
                std::optional<int> log_option = std::nullopt,
                maparg::OptText xlabel = std::nullopt, maparg::OptText ylabel = std::nullopt,
                maparg::OptText title = std::nullopt, maparg::OptText file = std::nullopt);

// Single precision, z a matrix whose element (i, j) is the value at (x(i), y(j)).
void dat_map_2d(maparg::VecView<float> x, maparg::VecView<float> y, maparg::MatView<float> z,
                std::optional<int> log_option = std::nullopt,
                maparg::OptText xlabel = std::nullopt, maparg::OptText ylabel = std::nullopt,
                maparg::OptText title = std::nullopt, maparg::OptText file = std::nullopt);

// Double precision, z a matrix; values rounded to single precision.
void dat_map_2d_r8(maparg::VecView<double> x, maparg::VecView<double> y,
                   maparg::MatView<double> z, std::optional<int> log_option = std::nullopt,
                   maparg::OptText xlabel = std::nullopt, maparg::OptText ylabel = std::nullopt,
                   maparg::OptText title = std::nullopt, maparg::OptText file = std::nullopt);

// The optional arguments by name, each absent unless set (absent stays
// distinct from every value, an empty text included):
//   mapdata::dat_map(x, y, z, {.title = "Spectrum", .file = "spectrum.dat"});
struct DatMapOptions {
  std::optional<int> log = std::nullopt;
  maparg::OptText xlabel = std::nullopt;
  maparg::OptText ylabel = std::nullopt;
  maparg::OptText title = std::nullopt;
  maparg::OptText file = std::nullopt;
};

inline void dat_map(maparg::VecView<float> x, maparg::VecView<float> y, maparg::VecView<float> z,
                    const DatMapOptions& o) {
  dat_map(x, y, z, o.log, o.xlabel, o.ylabel, o.title, o.file);
}
inline void dat_map_r8(maparg::VecView<double> x, maparg::VecView<double> y,
                       maparg::VecView<double> z, const DatMapOptions& o) {
  dat_map_r8(x, y, z, o.log, o.xlabel, o.ylabel, o.title, o.file);
}
inline void dat_map_2d(maparg::VecView<float> x, maparg::VecView<float> y,
                       maparg::MatView<float> z, const DatMapOptions& o) {
  dat_map_2d(x, y, z, o.log, o.xlabel, o.ylabel, o.title, o.file);
}
inline void dat_map_2d_r8(maparg::VecView<double> x, maparg::VecView<double> y,
                          maparg::MatView<double> z, const DatMapOptions& o) {
  dat_map_2d_r8(x, y, z, o.log, o.xlabel, o.ylabel, o.title, o.file);
}

// One name for the four forms, the form chosen by the precision of x, y and
// z and by z being flat or a matrix, as the Fortran module's data_export:
//   mapdata::data_export(x, y, z, {.title = "Spectrum", .file = "spectrum.dat"});
inline void data_export(maparg::VecView<float> x, maparg::VecView<float> y,
                        maparg::VecView<float> z, const DatMapOptions& o = {}) {
  dat_map(x, y, z, o);
}
inline void data_export(maparg::VecView<double> x, maparg::VecView<double> y,
                        maparg::VecView<double> z, const DatMapOptions& o = {}) {
  dat_map_r8(x, y, z, o);
}
inline void data_export(maparg::VecView<float> x, maparg::VecView<float> y,
                        maparg::MatView<float> z, const DatMapOptions& o = {}) {
  dat_map_2d(x, y, z, o);
}
inline void data_export(maparg::VecView<double> x, maparg::VecView<double> y,
                        maparg::MatView<double> z, const DatMapOptions& o = {}) {
  dat_map_2d_r8(x, y, z, o);
}

}  // namespace mapdata
