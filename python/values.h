#pragma once
// Python values as the arguments of the module's calls, and texts back as
// Python values: x, y and z by position or by name and the options by name
// (None = absent), ints and truth values, texts and file names.

#include <pybind11/pybind11.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "maparg/palette.h"
#include "maparg/text_fields.h"
#include "python/arrays.h"

namespace pymapplot {

namespace py = pybind11;

// Raises the Python exception of type `type` with `message`.
[[noreturn]] void raise(PyObject* type, const std::string& message);

// Text for Python: bytes that are not UTF-8 (a label from a data file of any
// origin) become lone surrogates, which text_argument turns back into them.
py::object text_object(std::string_view text);

// The arguments of a rendering call: x, y and z by position or by name, then
// the options by name only. A mistake raises a TypeError that names the
// argument and what the call takes; pybind11's own message would print every
// array in full.
class MapCall {
 public:
  MapCall(std::string function, std::vector<std::string> options, const py::args& args,
          const py::kwargs& kwargs);

  // x, y and z, checked (map_arrays).
  MapArrays arrays() const { return map_arrays(arrays_[0], arrays_[1], arrays_[2]); }

  // An option as given; None when left out.
  py::object option(const char* name) const {
    return kwargs_.contains(name) ? py::object(kwargs_[name]) : py::none();
  }

 private:
  bool is_option(const std::string& name) const;
  std::string option_list() const;

  std::string function_;
  std::vector<std::string> options_;
  py::object arrays_[3];
  py::dict kwargs_;
};

// An int option: None is absent; else an int, a bool or a numpy integer
// (anything with __index__) within the range of a C int (else OverflowError).
// Only size counts as a number; the other int options are truth values.
std::optional<int> int_option(const py::object& value, const char* name);

// A text argument: None is absent; str (encoded as UTF-8, lone surrogates
// back to the bytes they stand for), bytes, and for file names (`path`)
// os.PathLike.
std::optional<std::string> text_argument(const py::object& value, const char* name,
                                         bool path = false);

inline maparg::OptText view_of(const std::optional<std::string>& text) {
  return text ? maparg::OptText(*text) : std::nullopt;
}

// The pixels option of the PostScript map: None is absent; else two ints
// (width, height) in a sequence, each within 64 bits (the map bounds them).
std::optional<std::array<std::int64_t, 2>> pixels_option(const py::object& value);

// The texts of a call, owned for its duration.
struct Texts {
  std::optional<std::string> xlabel, ylabel, title, file, device, zlabel, aspect;
};
Texts texts(const MapCall& call);

// A real option (zmin, zmax): None is absent; else an int, a float or a
// numpy number (numbers.Real), not a bool.
maparg::OptReal real_option(const py::object& value, const char* name);

// A colour option (nan_colour, under, over): None is absent; else three
// numbers, red, green and blue (a sequence or array of ints or floats). Any
// other kind of value raises TypeError, another number of them ValueError;
// intensities outside 0 .. 1 go on to the map, which warns and keeps its
// default.
maparg::OptColour colour_option(const py::object& value, const char* name);

// The contours option, owned for the call's duration: None is absent; an int
// (not a bool; anything with __index__) is a count of levels (within 64
// bits; the map bounds it); else a sequence or array of real numbers is the
// levels, copied. Any other value raises TypeError.
class ContourOption {
 public:
  explicit ContourOption(const py::object& value);
  maparg::OptContours view() const;

 private:
  std::optional<std::int64_t> count_;
  std::optional<std::vector<double>> levels_;
};

// The colour options of a call (palette, zmin, zmax, nan_colour, under, over), owned for its
// duration: the palette's name, or its points copied from the caller's
// array of shape (n, 4) (level, red, green, blue in each row). A palette
// that is neither a str (or bytes) nor an array of numbers raises TypeError,
// an array of any other shape ValueError; points that are not a usable
// table go on to the map, which warns and draws grey. A palette that is
// callable (a matplotlib colour map, or any function of an array of levels)
// is sampled at 256 levels from 0 to 1: its rows of red, green, blue (and
// alpha, left out) become the points.
class Colours {
 public:
  explicit Colours(const MapCall& call);
  Colours(const Colours&) = delete;
  Colours& operator=(const Colours&) = delete;

  // The options as the maps take them, viewing this object's storage.
  maparg::OptPalette palette() const;
  maparg::OptReal zmin() const { return zmin_; }
  maparg::OptReal zmax() const { return zmax_; }
  maparg::OptColour nan_colour() const { return nan_colour_; }
  maparg::OptReal zcentre() const { return zcentre_; }
  maparg::OptColour under() const { return under_; }
  maparg::OptColour over() const { return over_; }

 private:
  void sample(const py::object& colour_map, const py::object& numpy);

  std::optional<std::string> name_;
  std::optional<std::vector<maparg::PalettePoint>> points_;
  maparg::OptReal zmin_, zmax_;
  maparg::OptColour nan_colour_, under_, over_;
  maparg::OptReal zcentre_;
};

}  // namespace pymapplot
