// The data export: one of the four forms with random vectors or a matrix
// (sizes, strides, lower bounds, special values), texts of random bytes, each
// optional argument present or absent, writing into the scratch folder; then
// the reader reads the file back.
//
// Invariants: the caller's arrays are unchanged bit for bit; the folder holds
// exactly the file named (nothing left of the temporary one); the console
// shows the size warning exactly when z does not hold nx*ny values, then
// " Output in <name>"; the file reads back, and what was read writes the same
// file again; x, y and z are the values written (single precision, under the
// log option log10 of z) rounded to the 7 or 8 digits of their field, zero as
// +0, infinities and not-a-numbers as such, and the texts are as the routine
// lays them out (line breaks as blanks).

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "mapdata/dat_map.h"
#include "mapdata/map_reader.h"
#include "textfmt/number_field.h"

namespace {

using fuzz::show;
using fuzz::show_text;

// A file name in the scratch folder, maybe between blanks (the routine opens
// the name without them); absolute, so that it fits an 80-character field
// whatever the current folder.
std::string any_file_name(FuzzedDataProvider& in) {
  static const char* const names[] = {"Map.dat", "out.dat", "a", "map file.dat", ".hidden", "x.ps"};
  std::string name = fuzz::scratch_folder() + "/" + names[in.ConsumeIntegralInRange<int>(0, 5)];
  if (in.ConsumeBool()) name = "  " + name + "   ";
  return name;
}

// What the reader must give for a single-precision value written: the value
// rounded to the digits of its field (fixed form 7, exponent form 8).
void check_value(float written, float read, const std::string& where) {
  const std::string shown = where + ": wrote " + show(written) + ", read " + show(read);
  if (std::isnan(written)) {
    FUZZ_CHECK(std::isnan(read), shown);
    return;
  }
  if (written == 0 || std::isinf(written)) {
    FUZZ_CHECK(fuzz::same_bits(read, written == 0 ? 0.0f : written), shown);
    return;
  }
  // The field itself says which form; its digits are checked by the format
  // fuzzer, here they must be the value's.
  const std::string field = textfmt::format_general(written, textfmt::kListRealWidth, 7, 2, 1, true);
  const bool exponent = field.find('E') != std::string::npos;
  const float expected = fuzz::nearest_decimal(written, exponent ? 8 : 7);
  FUZZ_CHECK(fuzz::same_bits(read, expected), shown + ", expected " + show(expected) + " (field " +
                                                  show_text(field) + ")");
}

void check_values(const std::vector<float>& written, const std::vector<float>& read, const char* name) {
  FUZZ_CHECK(written.size() == read.size(), std::string(name) + ": wrote " + std::to_string(written.size()) +
                                                " values, read " + std::to_string(read.size()));
  for (std::size_t i = 0; i < written.size(); ++i)
    check_value(written[i], read[i], std::string(name) + "(" + std::to_string(i + 1) + ")");
}

std::string bytes_of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A text as the routine takes it: each carriage return and line feed a blank.
std::optional<std::string> unbroken(std::optional<std::string> text) {
  if (text)
    for (char& c : *text)
      if (c == '\r' || c == '\n') c = ' ';
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const int form = in.ConsumeIntegralInRange<int>(0, 3);  // dat_map, _r8, _2d, _2d_r8
  const bool wide = form == 1 || form == 3;
  const bool matrix = form >= 2;
  constexpr fuzz::Index kMaxSize = 40;

  const fuzz::FormArrays a(in, wide, matrix, kMaxSize, kMaxSize * kMaxSize / 4);
  // The values as the file must hold them, before the log.
  const std::vector<float> x = a.x_single(), y = a.y_single(), z = a.z_single();

  const std::optional<int> log_option = fuzz::any_log_option(in, fuzz::all_have_log(z));
  const std::optional<std::string> xlabel = fuzz::any_text(in);
  const std::optional<std::string> ylabel = fuzz::any_text(in);
  const std::optional<std::string> title = fuzz::any_text(in);
  const std::string file = any_file_name(in);

  if (fuzz::verbose()) {
    static const char* const names[] = {"dat_map", "dat_map_r8", "dat_map_2d", "dat_map_2d_r8"};
    fuzz::print_call(std::string(names[form]) + "(" + a.describe() +
                     ",\n  log option " + fuzz::describe(log_option) + ", x label " + fuzz::describe(xlabel) +
                     ", y label " + fuzz::describe(ylabel) + ", title " + fuzz::describe(title) + ", file " +
                     show_text(file) + ")");
  }
  fuzz::clear_scratch();
  fuzz::ConsoleLines console;
  const mapdata::DatMapOptions options{.log = log_option, .xlabel = fuzz::arg(xlabel), .ylabel = fuzz::arg(ylabel),
                                       .title = fuzz::arg(title), .file = file};
  a.with_views([&](auto x, auto y, auto z) { mapdata::data_export(x, y, z, options); });

  // The caller's arrays.
  const bool unchanged = a.xy_unchanged() && a.z_unchanged();
  FUZZ_CHECK(unchanged, "dat_map changed the caller's arrays");

  // The folder and the console.
  const std::string name(fuzz::strip_blanks(file));
  const std::string base = name.substr(name.rfind('/') + 1);
  const std::vector<std::string> files = fuzz::scratch_files();
  FUZZ_CHECK(files.size() == 1 && files[0] == base,
             "the folder holds " + std::to_string(files.size()) + " files" +
                 (files.empty() ? std::string() : ", the first " + show_text(files[0])) + "; expected " + base);
  const bool sizes_match = z.size() == x.size() * y.size();
  FUZZ_CHECK(console.has("  Warning: incompatible array sizes !!!") == !sizes_match, console.all());
  FUZZ_CHECK(!console.lines().empty() && console.lines().back() == "  Output in " + name, console.all());

  // What the reader finds.
  std::vector<float> values = z;
  std::string expected_title_text = fuzz::field_text(
      unbroken(title), form == 1 ? mapdata::kDefaultTitleR8 : maparg::kDefaultTitle, false);
  if (fuzz::log_on(log_option)) {
    for (float& v : values) v = fuzz::to_single(std::log10(static_cast<double>(v)));
    expected_title_text = fuzz::log_title_text(expected_title_text);
  }
  const std::string expected_title = expected_title_text;
  const std::string expected_xlabel = fuzz::field_text(unbroken(xlabel), maparg::kDefaultXLabel, true);
  const std::string expected_ylabel = fuzz::field_text(unbroken(ylabel), maparg::kDefaultYLabel, true);

  // Every file the routine writes reads back, and what was read writes the
  // same file again.
  const std::string written = bytes_of(name);
  const mapdata::MapReadResult back = mapdata::read_map_file(name);
  FUZZ_CHECK(back, "the file written does not read back: " + back.error);
  const mapdata::MapData& map = *back.map;
  const std::string again = fuzz::scratch_folder() + "/again.dat";
  mapdata::dat_map(map.x, map.y, map.z, 0, map.xlabel, map.ylabel, map.title, again);
  FUZZ_CHECK(bytes_of(again) == written, "what was read writes another file");
  fuzz::clear_scratch();

  FUZZ_CHECK(map.nx == static_cast<std::int32_t>(x.size()) && map.ny == static_cast<std::int32_t>(y.size()),
             "header " + std::to_string(map.nx) + " x " + std::to_string(map.ny));
  check_values(x, map.x, "x");
  check_values(y, map.y, "y");
  // A 79- or 80-character text can make the last lines readable as the texts
  // in more than one way; each reading writes the same file (checked above),
  // but the values and texts read may be split differently from those written.
  for (const std::string* t : {&expected_xlabel, &expected_ylabel, &expected_title})
    if (t->size() == 79 || t->size() == 80) return 0;
  check_values(values, map.z, "z");
  FUZZ_CHECK(map.xlabel == expected_xlabel, "x label " + show_text(map.xlabel) + ", expected " + show_text(expected_xlabel));
  FUZZ_CHECK(map.ylabel == expected_ylabel, "y label " + show_text(map.ylabel) + ", expected " + show_text(expected_ylabel));
  FUZZ_CHECK(map.title == expected_title, "title " + show_text(map.title) + ", expected " + show_text(expected_title));
  return 0;
}
