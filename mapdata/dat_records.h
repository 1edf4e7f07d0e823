#pragma once
// The lines of the data file (dat_map.h), for every writer of one: the
// one-process export writes them in order into one file; a writer that
// produces the file in pieces (one per process of a distributed field)
// formats each piece with the same routines, so that the pieces joined are
// byte for byte the one-process file.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "maparg/text_fields.h"
#include "maparg/views.h"
#include "textfmt/list_record.h"
#include "textfmt/number_field.h"

namespace mapdata {

// The texts of a call as the file holds them, and the file name.
struct DatTexts {
  std::string xlabel;  // 80-character fields
  std::string ylabel;
  std::string title;   // "log(...)" under the log option
  std::string file;    // without its surrounding blanks; checked for NUL bytes
  bool log = false;
};

// The texts of the arguments (defaults for absent ones, line breaks made
// blanks, the log title); a file name holding a NUL byte is fatal.
DatTexts dat_texts(std::optional<int> log_option, maparg::OptText xlabel, maparg::OptText ylabel,
                   maparg::OptText title, maparg::OptText file);

// A length as a header integer; fatal beyond 32 bits.
std::int32_t header_count(maparg::Index n, const char* name);

// A writer of file records: each record with its carriage return and line
// feed is handed to `bytes`.
textfmt::ListWriter dat_writer(std::function<void(std::string_view)> bytes);

// The header line: nx, ny and 1.
void write_header(textfmt::ListWriter& out, std::int32_t nx, std::int32_t ny);
// The bytes of one value's line: its field and the line ending, whatever the
// value, so that the place of any value's line in the file is known before
// the lines are formatted.
inline constexpr std::int64_t kValueLineBytes = textfmt::kListRealWidth + 2;

// One line a value.
void write_values(textfmt::ListWriter& out, maparg::VecView<float> v);
// The x label, y label and title lines.
void write_texts(textfmt::ListWriter& out, const DatTexts& texts);

}  // namespace mapdata
