#pragma once
// What the fuzz targets share: arguments built from the fuzzer's bytes
// (values with their special cases, vector and matrix views with strides and
// lower bounds over arrays of their own, texts), a check that stops the run
// with a message, a scratch folder for the files written, and the console
// lines captured instead of printed.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "maparg/palette.h"
#include "maparg/text_fields.h"
#include "maparg/views.h"

namespace fuzz {

using maparg::Index;

// Called once before the first input: standard output (where the console
// lines go) to /dev/null unless verbose, standard input from /dev/null
// (nothing may wait for a line), and a fatal error aborts with its stack
// instead of exiting quietly.
void setup();

// MAPPLOT_FUZZ_VERBOSE set: the console lines stay on standard output and
// the targets print each call's arguments on standard error, to replay a
// finding by hand.
bool verbose();
void print_call(const std::string& call);

// Stops the run with the failed condition and `detail`; libFuzzer keeps the
// input that did it.
[[noreturn]] void check_failed(const char* condition, const char* file, int line,
                               const std::string& detail);
#define FUZZ_CHECK(condition, detail)                                          \
  do {                                                                         \
    if (!(condition)) ::fuzz::check_failed(#condition, __FILE__, __LINE__, (detail)); \
  } while (0)

// A value that shows its bits: "1.5 (0x3fc00000)".
std::string show(float v);
std::string show(double v);
std::string show_text(std::string_view text);

template <class T>
bool same_bits(T a, T b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// --- Values ---

// Mostly special cases (zeros of both signs, infinities, not-a-numbers with
// payloads, subnormals, the extremes, values next to rounding and range
// boundaries), raw bit patterns, short decimals and plain values.
float any_float(FuzzedDataProvider& in);
double any_double(FuzzedDataProvider& in);
template <class T>
T any_value(FuzzedDataProvider& in) {
  if constexpr (sizeof(T) == sizeof(float))
    return any_float(in);
  else
    return any_double(in);
}

// Double to single precision, rounded to nearest, beyond the range infinite.
float to_single(double v);

// The single-precision value nearest to the decimal of `digits` significant
// digits nearest to v (v finite and not zero).
float nearest_decimal(float v, int digits);

// --- Arrays seen through views ---

// A vector of 0 .. max_size elements in an array of its own, with a stride
// of -3 .. 3 (0: one element repeated) and any lower bound. The array slots
// between the elements hold a not-a-number no rendering may read.
template <class T>
class FuzzVec {
 public:
  FuzzVec(FuzzedDataProvider& in, Index max_size);
  maparg::VecView<T> view() const { return view_; }
  Index size() const { return view_.size(); }
  // The elements in storage order.
  std::vector<T> values() const;
  // Whether the array is bit for bit what it was when built.
  bool unchanged() const;
  // A vector made only of the given values (contiguous, lower bound 1).
  explicit FuzzVec(std::vector<T> values);
  // Size, stride, lower bound and the values.
  std::string describe() const;

 private:
  Index stride_ = 1;
  std::vector<T> storage_;
  std::vector<unsigned char> original_;
  maparg::VecView<T> view_;
};

// A matrix of 0 .. max_extent x 0 .. max_extent elements with strides of
// either sign (packed, transposed, with gaps or overlapping) and any lower
// bounds, in an array of its own.
template <class T>
class FuzzMat {
 public:
  FuzzMat(FuzzedDataProvider& in, Index max_extent1, Index max_extent2);
  maparg::MatView<T> view() const { return view_; }
  // The elements packed, first index fastest.
  std::vector<T> values() const;
  bool unchanged() const;
  std::string describe() const;

 private:
  Index stride1_ = 1;
  Index stride2_ = 0;
  std::vector<T> storage_;
  std::vector<unsigned char> original_;
  maparg::MatView<T> view_;
};

// --- The arrays of one call in one of a rendering's four forms ---

// x and y in single or double precision (`wide`), z a vector of up to
// `max_values` elements or a matrix of up to `max_size` x `max_size`, of the
// precision of x and y; each over an array of its own, built in that order.
class FormArrays {
 public:
  FormArrays(FuzzedDataProvider& in, bool wide, bool matrix, Index max_size, Index max_values);

  // The arrays built; of each pair the one of the form's precision.
  std::optional<FuzzVec<float>> xf, yf, zf;
  std::optional<FuzzVec<double>> xd, yd, zd;
  std::optional<FuzzMat<float>> mf;
  std::optional<FuzzMat<double>> md;

  // Calls `form` with the views of the arrays built, so that a rendering's
  // one name takes them to the form of their precision and shape:
  //   a.with_views([&](auto x, auto y, auto z) { mapps::postscript_map(x, y, z); });
  template <class Form>
  void with_views(Form&& form) const {
    if (xf && mf) form(xf->view(), yf->view(), mf->view());
    else if (xf) form(xf->view(), yf->view(), zf->view());
    else if (md) form(xd->view(), yd->view(), md->view());
    else form(xd->view(), yd->view(), zd->view());
  }

  std::size_t nx() const;
  std::size_t ny() const;
  // The values in storage order as a routine narrowing them sees them, and
  // in double precision as a routine widening them sees them.
  std::vector<float> x_single() const;
  std::vector<float> y_single() const;
  std::vector<float> z_single() const;
  std::vector<double> x_wide() const;
  std::vector<double> y_wide() const;
  std::vector<double> z_wide() const;

  // The arrays for replaying a call by hand, a line each: "\n  x = ...,\n  y = ..."
  // and that with ",\n  z = ...".
  std::string describe_xy() const;
  std::string describe() const;
  // Whether the caller's arrays are bit for bit as built.
  bool xy_unchanged() const;
  bool z_unchanged() const;
};

// --- Optional arguments ---

// Absent, or 0 .. 100 bytes of anything, sometimes between blanks.
std::optional<std::string> any_text(FuzzedDataProvider& in);
inline maparg::OptText arg(const std::optional<std::string>& text) {
  return text ? maparg::OptText(*text) : std::nullopt;
}
std::string describe(const std::optional<std::string>& text);

// Absent, or any integer.
std::optional<int> any_int(FuzzedDataProvider& in);
std::string describe(const std::optional<int>& value);

// A log option whose lowest bit is set only when `allowed`: a value of zero
// or below under the log option ends the program by design.
std::optional<int> any_log_option(FuzzedDataProvider& in, bool allowed);
bool log_on(const std::optional<int>& option);

// The colour options, each absent or given: a palette by name (a built-in in
// any case, reversed or not, or any text), as 0 .. 6 control points of any
// values, or as a valid table of 2 .. 5000 points (more than giza takes at
// once, which the binding resamples); zmin and zmax of any value, but under the log option (`log`) each
// one a float above zero (a limit of zero or below under it ends the program
// by design), zcentre likewise, zlabel any text; nan_colour, under and over, each absent or three intensities
// within 0 .. 1 or of any value; contours a count (mostly small) or up to 12 levels of any
// value (above zero under log), contour_colour as the colours, contour_labels any int. The object holds the points the options refer to.
class AnyColours {
 public:
  AnyColours(FuzzedDataProvider& in, bool log);
  AnyColours(const AnyColours&) = delete;
  AnyColours& operator=(const AnyColours&) = delete;
  maparg::OptPalette palette() const;
  maparg::OptReal zmin() const { return zmin_; }
  maparg::OptReal zmax() const { return zmax_; }
  maparg::OptColour nan_colour() const { return nan_colour_; }
  maparg::OptReal zcentre() const { return zcentre_; }
  std::optional<std::string_view> zlabel() const {
    return zlabel_ ? std::optional<std::string_view>(*zlabel_) : std::nullopt;
  }
  maparg::OptColour under() const { return under_; }
  maparg::OptColour over() const { return over_; }
  maparg::OptContours contours() const {
    if (contour_count_) return maparg::ContourLevels(*contour_count_);
    if (contour_levels_) return maparg::ContourLevels(std::span<const double>(*contour_levels_));
    return std::nullopt;
  }
  maparg::OptColour contour_colour() const { return contour_colour_; }
  std::optional<int> contour_labels() const { return contour_labels_; }
  // The warning lines the colours nan_colour, under and over give: one for
  // each given with an intensity outside 0 .. 1 or not a number.
  std::vector<std::string> colour_warnings() const;
  std::string describe() const;

 private:
  std::optional<std::string> name_;
  std::optional<std::vector<maparg::PalettePoint>> points_;
  bool generated_ = false;  // points_ is a table made from a seed
  unsigned seed_ = 0;
  maparg::OptReal zmin_, zmax_, zcentre_;
  std::optional<std::string> zlabel_;
  maparg::OptColour nan_colour_, under_, over_;
  std::optional<std::int64_t> contour_count_;
  std::optional<std::vector<double>> contour_levels_;
  maparg::OptColour contour_colour_;
  std::optional<int> contour_labels_;
};

// Whether every value has a logarithm (above zero, or not a number).
template <class T>
bool all_have_log(const std::vector<T>& values) {
  for (T v : values)
    if (v <= 0) return false;
  return true;
}

// --- Texts as the routines lay them out ---

// The 80-character field of a text argument without its trailing blanks:
// the default when absent, else the text (without leading blanks when
// `drop_leading`, without either when `strip`) cut to 80 characters.
std::string field_text(const std::optional<std::string>& text, std::string_view fallback,
                       bool drop_leading, bool strip = false);
// The title under the log option: "log(" + title without blanks around + ")",
// cut to 80 characters, without trailing blanks.
std::string log_title_text(std::string_view title);
std::string_view trim_blanks(std::string_view s);  // trailing blanks off
std::string_view strip_blanks(std::string_view s);  // leading and trailing blanks off

// --- Files and console ---

// A folder of this process for the files the targets write, made on first use
// and removed when the process ends normally.
const std::string& scratch_folder();
// The names of the files in the scratch folder.
std::vector<std::string> scratch_files();
// Removes every file in the scratch folder.
void clear_scratch();

// The console lines written while it exists.
class ConsoleLines {
 public:
  ConsoleLines();
  ~ConsoleLines();
  ConsoleLines(const ConsoleLines&) = delete;
  ConsoleLines& operator=(const ConsoleLines&) = delete;
  const std::vector<std::string>& lines() const { return lines_; }
  bool has(std::string_view line) const;
  std::string all() const;  // for messages

 private:
  std::vector<std::string> lines_;
};

}  // namespace fuzz
