#include "python/values.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <utility>

#include <pybind11/numpy.h>

namespace pymapplot {
namespace {

constexpr const char* kArrayNames[3] = {"x", "y", "z"};

std::string type_name(const py::handle& value) {
  return py::str(py::type::of(value).attr("__name__")).cast<std::string>();
}

}  // namespace

void raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

py::object text_object(std::string_view text) {
  py::object s = py::reinterpret_steal<py::object>(PyUnicode_DecodeUTF8(
      text.data(), static_cast<Py_ssize_t>(text.size()), "surrogateescape"));
  if (!s) throw py::error_already_set();
  return s;
}

MapCall::MapCall(std::string function, std::vector<std::string> options, const py::args& args,
                 const py::kwargs& kwargs)
    : function_(std::move(function)), options_(std::move(options)) {
  if (args.size() > 3)
    throw py::type_error(function_ + "() takes 3 positional arguments (x, y, z) but " +
                         std::to_string(args.size()) + " were given; its options are keywords: " +
                         option_list());
  for (std::size_t k = 0; k < args.size(); ++k) arrays_[k] = args[k];
  for (const auto& [key, value] : kwargs) {
    const std::string name = py::str(key);
    py::object* slot = nullptr;
    for (std::size_t k = 0; k < 3; ++k)
      if (name == kArrayNames[k]) slot = &arrays_[k];
    if (slot == nullptr && !is_option(name))
      throw py::type_error(function_ + "() got an unexpected keyword argument '" + name +
                           "'; its options are " + option_list());
    if (slot == nullptr) continue;
    if (*slot)
      throw py::type_error(function_ + "() got multiple values for argument '" + name + "'");
    *slot = py::reinterpret_borrow<py::object>(value);
  }
  for (std::size_t k = 0; k < 3; ++k)
    if (!arrays_[k])
      throw py::type_error(function_ + "() missing required argument '" + kArrayNames[k] + "'");
  kwargs_ = kwargs;
}

bool MapCall::is_option(const std::string& name) const {
  return std::find(options_.begin(), options_.end(), name) != options_.end();
}

std::string MapCall::option_list() const {
  std::string list;
  for (const std::string& name : options_) list += (list.empty() ? "" : ", ") + name;
  return list;
}

std::optional<int> int_option(const py::object& value, const char* name) {
  if (value.is_none()) return std::nullopt;
  if (!PyIndex_Check(value.ptr()))
    throw py::type_error(std::string(name) + " takes " +
                         (std::string_view(name) == "size"
                              ? "an int or None"
                              : "an int or a bool (its lowest bit counts) or None") +
                         ", not " + type_name(value));
  const py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
  if (!index) throw py::error_already_set();
  int overflow = 0;
  const long v = PyLong_AsLongAndOverflow(index.ptr(), &overflow);
  if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (overflow != 0 || v < INT_MIN || v > INT_MAX)
    raise(PyExc_OverflowError, std::string(name) + " is out of the range of a C int: " +
                                   py::repr(index).cast<std::string>());
  return static_cast<int>(v);
}

std::optional<std::string> text_argument(const py::object& value, const char* name,
                                         bool path) {
  if (value.is_none()) return std::nullopt;
  py::object text = value;
  if (path) text = py::module_::import("os").attr("fspath")(value);
  if (py::isinstance<py::bytes>(text)) return text.cast<std::string>();
  if (!py::isinstance<py::str>(text))
    throw py::type_error(std::string(name) + " must be a str or None, not " + type_name(value));
  py::object bytes = py::reinterpret_steal<py::object>(
      PyUnicode_AsEncodedString(text.ptr(), "utf-8", "surrogateescape"));
  if (!bytes) throw py::error_already_set();
  return bytes.cast<std::string>();
}

Texts texts(const MapCall& call) {
  return {text_argument(call.option("xlabel"), "xlabel"),
          text_argument(call.option("ylabel"), "ylabel"),
          text_argument(call.option("title"), "title"),
          text_argument(call.option("file"), "file", true),
          text_argument(call.option("device"), "device"),
          text_argument(call.option("zlabel"), "zlabel"),
          text_argument(call.option("aspect"), "aspect")};
}

std::optional<std::array<std::int64_t, 2>> pixels_option(const py::object& value) {
  if (value.is_none()) return std::nullopt;
  const std::string takes = "pixels takes two ints (width, height) or None";
  if (py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value) ||
      !PySequence_Check(value.ptr()))
    throw py::type_error(takes + ", not " + type_name(value));
  const py::sequence items = py::reinterpret_borrow<py::sequence>(value);
  if (py::len(items) != 2)
    throw py::value_error(takes + ", not " + std::to_string(py::len(items)) + " values");
  std::array<std::int64_t, 2> out{};
  for (std::size_t k = 0; k < 2; ++k) {
    const py::object item = items[k];
    if (PyBool_Check(item.ptr()) || !PyIndex_Check(item.ptr()))
      throw py::type_error(takes + ", not a " + type_name(item) + " among them");
    const py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(item.ptr()));
    if (!index) throw py::error_already_set();
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    // Beyond 64 bits: as far out of the map's bounds as the largest.
    out[k] = overflow > 0 ? INT64_MAX : overflow < 0 ? INT64_MIN : v;
  }
  return out;
}

maparg::OptReal real_option(const py::object& value, const char* name) {
  if (value.is_none()) return std::nullopt;
  const bool real = !PyBool_Check(value.ptr()) &&
                    py::isinstance(value, py::module_::import("numbers").attr("Real"));
  if (!real)
    throw py::type_error(std::string(name) + " takes a float or an int or None, not " +
                         type_name(value));
  const py::object v = py::reinterpret_steal<py::object>(PyNumber_Float(value.ptr()));
  if (!v) throw py::error_already_set();  // an int too large for a float: OverflowError
  return PyFloat_AsDouble(v.ptr());
}

maparg::OptColour colour_option(const py::object& value, const char* name) {
  if (value.is_none()) return std::nullopt;
  const std::string takes = std::string(name) + " takes three numbers (red, green, blue) or None";
  if (py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value))
    throw py::type_error(takes + ", not " + type_name(value));
  py::array a;
  try {
    a = py::module_::import("numpy").attr("asarray")(value);
  } catch (py::error_already_set& e) {
    if (!e.matches(PyExc_ValueError)) throw;  // ragged: numpy's ValueError
    throw py::value_error(takes + ", not a ragged sequence");
  }
  const char kind = a.dtype().kind();
  if (a.ndim() == 0 || (kind != 'i' && kind != 'u' && kind != 'f'))
    throw py::type_error(takes + ", not " + type_name(value) +
                         (a.ndim() == 0 ? "" : " of " + py::str(a.dtype()).cast<std::string>()));
  if (a.ndim() != 1 || a.shape(0) != 3)
    throw py::value_error(takes + ", not of shape " +
                          py::str(py::tuple(a.attr("shape"))).cast<std::string>());
  const auto rgb = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(a);
  if (!rgb) throw py::error_already_set();
  const auto v = rgb.unchecked<1>();
  return maparg::Colour{v(0), v(1), v(2)};
}

ContourOption::ContourOption(const py::object& value) {
  if (value.is_none()) return;
  const std::string takes =
      "contours takes a count (int) or a sequence of levels (floats) or None, not ";
  if (PyBool_Check(value.ptr()) || py::isinstance<py::str>(value) ||
      py::isinstance<py::bytes>(value))
    throw py::type_error(takes + type_name(value));
  if (PyIndex_Check(value.ptr())) {
    const py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!index) throw py::error_already_set();
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow != 0)
      raise(PyExc_OverflowError, "contours is out of the range of 64 bits: " +
                                     py::repr(index).cast<std::string>());
    count_ = v;
    return;
  }
  py::array a;
  try {
    a = py::module_::import("numpy").attr("asarray")(value);
  } catch (py::error_already_set& e) {
    if (!e.matches(PyExc_ValueError)) throw;
    throw py::type_error(takes + "a ragged sequence");
  }
  const char kind = a.dtype().kind();
  if (a.ndim() != 1 || (kind != 'i' && kind != 'u' && kind != 'f'))
    throw py::type_error(takes + type_name(value) +
                         (a.ndim() == 0 ? "" : " of " + py::str(a.dtype()).cast<std::string>() +
                                                   " and shape " +
                                                   py::str(py::tuple(a.attr("shape"))).cast<std::string>()));
  const auto v = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(a);
  if (!v) throw py::error_already_set();
  levels_.emplace(v.data(), v.data() + v.size());
}

maparg::OptContours ContourOption::view() const {
  if (count_) return maparg::ContourLevels(*count_);
  if (levels_) return maparg::ContourLevels(std::span<const double>(*levels_));
  return std::nullopt;
}

Colours::Colours(const MapCall& call)
    : zmin_(real_option(call.option("zmin"), "zmin")),
      zmax_(real_option(call.option("zmax"), "zmax")),
      nan_colour_(colour_option(call.option("nan_colour"), "nan_colour")),
      under_(colour_option(call.option("under"), "under")),
      over_(colour_option(call.option("over"), "over")),
      zcentre_(real_option(call.option("zcentre"), "zcentre")) {
  const py::object palette = call.option("palette");
  if (palette.is_none()) return;
  if (py::isinstance<py::str>(palette) || py::isinstance<py::bytes>(palette)) {
    name_ = text_argument(palette, "palette");
    return;
  }
  const py::object numpy = py::module_::import("numpy");
  if (PyCallable_Check(palette.ptr())) {
    sample(palette, numpy);
    return;
  }
  py::array a;
  try {
    a = numpy.attr("asarray")(palette);
  } catch (py::error_already_set& e) {
    if (!e.matches(PyExc_ValueError)) throw;  // ragged rows: numpy's ValueError
    throw py::value_error("palette points must be an array of shape (n, 4): level, red, "
                          "green, blue in each row; rows of different lengths were given");
  }
  const char kind = a.dtype().kind();
  if (a.ndim() == 0 || (kind != 'i' && kind != 'u' && kind != 'f')) {
    const std::string of = a.ndim() == 0 ? "" : " of " + py::str(a.dtype()).cast<std::string>();
    throw py::type_error(
        "palette takes a name (str) or an array of numbers of shape (n, 4) or None, not " +
        type_name(palette) + of);
  }
  if (a.ndim() != 2 || a.shape(1) != 4)
    throw py::value_error("palette points must be an array of shape (n, 4): level, red, green, "
                          "blue in each row; not of shape " +
                          py::str(py::tuple(a.attr("shape"))).cast<std::string>());
  // Copied: the points live for the call whatever the caller's array is.
  const auto rows = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(a);
  if (!rows) throw py::error_already_set();
  const auto r = rows.unchecked<2>();
  points_.emplace();
  points_->reserve(static_cast<std::size_t>(r.shape(0)));
  for (py::ssize_t k = 0; k < r.shape(0); ++k)
    points_->push_back({static_cast<float>(r(k, 0)), static_cast<float>(r(k, 1)),
                        static_cast<float>(r(k, 2)), static_cast<float>(r(k, 3))});
}

void Colours::sample(const py::object& colour_map, const py::object& numpy) {
  constexpr int kLevels = 256;
  const py::object levels = numpy.attr("linspace")(0.0, 1.0, kLevels);
  const py::object rgb = colour_map(levels);
  py::array a;
  try {
    a = numpy.attr("asarray")(rgb, "float64");
  } catch (py::error_already_set& e) {
    if (!e.matches(PyExc_ValueError) && !e.matches(PyExc_TypeError)) throw;
    throw py::type_error("a palette called on 256 levels must return numbers, not " +
                         type_name(rgb));
  }
  if (a.ndim() != 2 || a.shape(0) != kLevels || (a.shape(1) != 3 && a.shape(1) != 4))
    throw py::value_error(
        "a palette called on 256 levels must return rows of red, green, blue (and alpha), an "
        "array of shape (256, 3) or (256, 4); not of shape " +
        py::str(py::tuple(a.attr("shape"))).cast<std::string>());
  const auto rows = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(a);
  if (!rows) throw py::error_already_set();
  const auto r = rows.unchecked<2>();
  points_.emplace();
  points_->reserve(kLevels);
  // The levels as the built-in tables have them: k / 255, exactly 1 last.
  for (int k = 0; k < kLevels; ++k)
    points_->push_back({k + 1 == kLevels ? 1.0f : static_cast<float>(k) / (kLevels - 1),
                        static_cast<float>(r(k, 0)), static_cast<float>(r(k, 1)),
                        static_cast<float>(r(k, 2))});
}

maparg::OptPalette Colours::palette() const {
  if (name_) return maparg::Palette(std::string_view(*name_));
  if (points_) return maparg::Palette(std::span<const maparg::PalettePoint>(*points_));
  return std::nullopt;
}

}  // namespace pymapplot
