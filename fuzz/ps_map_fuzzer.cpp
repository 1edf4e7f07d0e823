// The PostScript map: one of the four forms with random vectors or a matrix
// (sizes, strides, lower bounds, special values), texts of random bytes, the
// colour options of any values, each optional argument present or absent; drawn on the null device, and about
// one input in fifty into a real file (PostScript, PNG, PDF, SVG ...) in the
// scratch folder. Also the output file name rule on random texts.
//
// Invariants: the caller's arrays are unchanged bit for bit; the console
// shows the size warning exactly when z does not hold nx*ny values, the
// two-values warning exactly when x or y has fewer than two, and the finite
// warning exactly when x or y holds a value that is not finite in single
// precision; a map that can be drawn on a real device leaves exactly its file
// (not empty) and " Output in <file>", anything else leaves no file and no
// such line. Whatever the colours, the map is drawn and its file written.

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "mapps/ps_map.h"

namespace {

using fuzz::show_text;

// A file name or device type as its field holds it: blank-padded to 80
// characters, a longer one whole.
std::string padded80(std::string_view s) {
  std::string field(s);
  if (field.size() < 80) field.resize(80, ' ');
  return field;
}

// The output file rule, on the whole name: a name ending in "ps" takes the
// device type's ending unless the type is "ps" or the name already ends in it.
std::string renamed(std::string_view file, std::string_view type) {
  std::string name(fuzz::trim_blanks(file));
  const std::string t(fuzz::trim_blanks(type));
  if (name.size() >= 2 && name.ends_with("ps") && t != "ps" && !(t.size() && name.ends_with(t)))
    name = name.substr(0, name.size() - 2) + t;
  return std::string(fuzz::trim_blanks(name));
}

void check_output_file_field(FuzzedDataProvider& in) {
  const std::string file = in.ConsumeRandomLengthString(100);
  const std::string type = in.ConsumeRandomLengthString(100);
  const std::string field = mapps::output_file_field(padded80(file), padded80(type));
  const std::string expected = renamed(file, type);
  FUZZ_CHECK(field.size() >= 80 && fuzz::trim_blanks(field) == expected,
             "output_file_field(" + show_text(file) + ", " + show_text(type) + ") = " + show_text(field) +
                 ", expected " + show_text(expected));
}

bool exists(const std::string& path, off_t* size) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  *size = st.st_size;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  check_output_file_field(in);

  const int form = in.ConsumeIntegralInRange<int>(0, 3);  // ps_map, _r8, _2d, _2d_r8
  const bool wide = form == 1 || form == 3;
  const bool matrix = form >= 2;
  constexpr fuzz::Index kMaxSize = 24;

  const fuzz::FormArrays a(in, wide, matrix, kMaxSize, kMaxSize * kMaxSize);
  const std::size_t nx = a.nx(), ny = a.ny();
  // In single precision, as the routine sees them (z before the logarithms).
  const std::vector<float> x = a.x_single(), y = a.y_single(), z = a.z_single();

  const std::optional<int> log_option = fuzz::any_log_option(in, fuzz::all_have_log(z));
  const std::optional<std::string> xlabel = fuzz::any_text(in);
  const std::optional<std::string> ylabel = fuzz::any_text(in);
  const std::optional<std::string> title = fuzz::any_text(in);
  const fuzz::AnyColours colours(in, fuzz::log_on(log_option));

  // The device: mostly null (any file name then, nothing is written), now and
  // then one that writes a file into the scratch folder, or an unknown one.
  std::optional<std::string> file, device;
  const bool real = in.ConsumeIntegralInRange<int>(0, 49) == 0;
  if (!real) {
    static const char* const nulls[] = {"null", "NULL", "Null  "};
    device = nulls[in.ConsumeIntegralInRange<int>(0, 2)];
    file = fuzz::any_text(in);
    // A NUL byte in a file name ends the program with the fatal report (the
    // unit tests show it): any other byte here.
    if (file) std::replace(file->begin(), file->end(), '\0', '0');
  } else {
    static const char* const types[] = {"ps", "png", "svg", "pdf", "eps", "vcps", "cps", "PNG", "gif", "ps"};
    static const char* const names[] = {"Map.ps", "fz.ps", "plot", "a.eps", "out.png"};
    const int t = in.ConsumeIntegralInRange<int>(0, 9);
    if (t != 9) device = types[t];  // absent: ps
    file = fuzz::scratch_folder() + "/" + names[in.ConsumeIntegralInRange<int>(0, 4)];
    if (in.ConsumeBool()) file = " " + *file + "  ";
  }

  // The page options: mostly usable, now and then anything.
  std::optional<std::string> aspect;
  if (in.ConsumeBool()) {
    static const char* const aspects[] = {"equal", "AUTO", " auto ", ""};
    aspect = in.ConsumeBool() ? aspects[in.ConsumeIntegralInRange<int>(0, 3)]
                              : in.ConsumeRandomLengthString(10);
  }
  std::optional<std::array<std::int64_t, 2>> pixels;
  if (in.ConsumeBool()) {
    const bool usable = in.ConsumeBool();
    for (std::int64_t& v : pixels.emplace())
      v = usable ? in.ConsumeIntegralInRange<std::int64_t>(16, 400) : in.ConsumeIntegral<std::int64_t>();
  }

  if (fuzz::verbose()) {
    static const char* const names[] = {"ps_map", "ps_map_r8", "ps_map_2d", "ps_map_2d_r8"};
    fuzz::print_call(std::string(names[form]) + "(" + a.describe() +
                     ",\n  log option " + fuzz::describe(log_option) + ", x label " + fuzz::describe(xlabel) +
                     ", y label " + fuzz::describe(ylabel) + ", title " + fuzz::describe(title) + ", file " +
                     fuzz::describe(file) + ", device " + fuzz::describe(device) + ", " +
                     colours.describe() + ", aspect " + fuzz::describe(aspect) + ", pixels " +
                     (pixels ? std::to_string((*pixels)[0]) + " x " + std::to_string((*pixels)[1]) : "absent") + ")");
  }
  fuzz::clear_scratch();
  fuzz::ConsoleLines console;
  const mapps::PsMapOptions options{.log = log_option, .xlabel = fuzz::arg(xlabel), .ylabel = fuzz::arg(ylabel),
                                    .title = fuzz::arg(title), .file = fuzz::arg(file), .device = fuzz::arg(device),
                                    .palette = colours.palette(), .zmin = colours.zmin(), .zmax = colours.zmax(),
                                    .nan_colour = colours.nan_colour(), .under = colours.under(),
                                    .over = colours.over(), .zcentre = colours.zcentre(),
                                    .zlabel = colours.zlabel(), .contours = colours.contours(),
                                    .contour_colour = colours.contour_colour(),
                                    .contour_labels = colours.contour_labels(), .aspect = fuzz::arg(aspect),
                                    .pixels = pixels};
  a.with_views([&](auto x, auto y, auto z) { mapps::postscript_map(x, y, z, options); });

  const bool unchanged = a.xy_unchanged() && a.z_unchanged();
  FUZZ_CHECK(unchanged, "ps_map changed the caller's arrays");

  const std::size_t cells = nx * ny;
  FUZZ_CHECK(console.has("  Warning: incompatible array sizes !!!") == (z.size() != cells), console.all());
  const bool too_few = nx < 2 || ny < 2;
  FUZZ_CHECK(console.has("  Warning: at least two x and two y values are needed !!!") == too_few, console.all());
  const auto finite = [](float v) { return std::isfinite(v); };
  const bool not_finite = !std::all_of(x.begin(), x.end(), finite) || !std::all_of(y.begin(), y.end(), finite);
  FUZZ_CHECK(console.has("  Warning: x and y values must be finite !!!") == not_finite, console.all());
  for (const std::string& line : colours.colour_warnings()) FUZZ_CHECK(console.has(line), console.all());

  const std::string type(fuzz::strip_blanks(device ? *device : "ps"));
  const bool writes = real && type != "gif" && !too_few && !not_finite && z.size() >= cells;
  const std::vector<std::string> files = fuzz::scratch_files();
  std::string output_lines;
  for (const auto& line : console.lines())
    if (line.starts_with("  Output in ")) output_lines += line + "\n";
  if (!writes) {
    FUZZ_CHECK(files.empty() && output_lines.empty(),
               std::to_string(files.size()) + " files and the lines " + show_text(output_lines) +
                   " where no file is written");
    return 0;
  }
  const std::string expected(fuzz::strip_blanks(renamed(*file, device ? *device : "ps")));
  FUZZ_CHECK(console.lines().back() == "  Output in " + expected, console.all() + "\nexpected " + expected);
  off_t bytes = 0;
  FUZZ_CHECK(exists(expected, &bytes) && bytes > 0, expected + " is missing or empty");
  FUZZ_CHECK(files.size() == 1, std::to_string(files.size()) + " files where one is written");
  fuzz::clear_scratch();
  return 0;
}
