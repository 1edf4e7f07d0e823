#include "python/arrays.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

namespace pymapplot {
namespace {

std::string dtype_name(const py::array& a) { return py::str(a.dtype()).cast<std::string>(); }

// Anything numpy.asarray takes, as an array of real or integer numbers
// (floats of any size, ints, bools); complex, object, text and the like raise
// TypeError.
py::array number_array(const py::object& value, const char* name) {
  py::array a = py::module_::import("numpy").attr("asarray")(value);
  const char kind = a.dtype().kind();
  if (kind != 'f' && kind != 'i' && kind != 'u' && kind != 'b')
    throw py::type_error(std::string(name) + " must hold real or integer numbers, not " +
                         dtype_name(a));
  return a;
}

// Single precision: float32 or float16 (which float32 holds exactly).
bool single(const py::array& a) { return a.dtype().kind() == 'f' && a.itemsize() <= 4; }

// The array as `type` in the machine's byte order: itself when it is that
// already (read in place, whatever its strides), else a converted copy.
py::array as_type(const py::array& a, const py::dtype& type) {
  if (a.dtype().attr("__eq__")(type).cast<bool>()) return a;
  return a.attr("astype")(type);
}

// The array itself when its strides are whole elements and its data aligned
// (the views take any such strides), else a contiguous copy.
py::array viewable(py::array a) {
  const auto item = a.itemsize();
  bool whole = reinterpret_cast<std::uintptr_t>(a.data()) % static_cast<std::uintptr_t>(item) == 0;
  for (py::ssize_t d = 0; d < a.ndim(); ++d) whole = whole && a.strides(d) % item == 0;
  if (whole) return a;
  return py::module_::import("numpy").attr("ascontiguousarray")(a);
}

std::string shape_text(const py::array& a) {
  return py::str(py::tuple(a.attr("shape"))).cast<std::string>();
}

// z with its masked cells (a numpy.ma.MaskedArray of numbers) as NaN, in a
// copy: they are drawn as values that are not numbers. Ints and bools become
// float64 for that (as they would unmasked), float16 float32. Anything else
// as it is.
py::object unmasked(const py::object& z) {
  const py::module_ ma = py::module_::import("numpy.ma");
  if (!py::isinstance(z, ma.attr("MaskedArray"))) return z;
  const py::dtype type = z.attr("dtype");
  const char kind = type.kind();
  py::object floats = z;
  if (kind == 'i' || kind == 'u' || kind == 'b') floats = z.attr("astype")("float64");
  else if (kind == 'f' && type.itemsize() < 4) floats = z.attr("astype")("float32");
  else if (kind != 'f') return z;  // number_array refuses it
  return floats.attr("filled")(std::nan(""));
}

}  // namespace

MapArrays map_arrays(const py::object& x, const py::object& y, const py::object& z) {
  MapArrays m{number_array(x, "x"), number_array(y, "y"), number_array(unmasked(z), "z")};
  // The single-precision forms when all three are single, the double-precision
  // forms for anything else (ints, bools, float64, precisions mixed).
  m.double_precision = !(single(m.x) && single(m.y) && single(m.z));
  const py::dtype type = m.double_precision ? py::dtype::of<double>() : py::dtype::of<float>();
  m.x = as_type(m.x, type);
  m.y = as_type(m.y, type);
  m.z = as_type(m.z, type);
  if (m.x.ndim() != 1 || m.y.ndim() != 1)
    throw py::value_error("x and y must be one-dimensional, not of shapes " + shape_text(m.x) +
                          " and " + shape_text(m.y));
  const py::ssize_t nx = m.x.shape(0), ny = m.y.shape(0);
  m.matrix = m.z.ndim() == 2;
  if (m.matrix) {
    if (m.z.shape(0) != nx || m.z.shape(1) != ny) {
      std::string message = "z must have the shape (len(x), len(y)) = (" + std::to_string(nx) +
                            ", " + std::to_string(ny) + "), not " + shape_text(m.z);
      if (m.z.shape(0) == ny && m.z.shape(1) == nx)
        message += "; z[i, j] is the value at (x[i], y[j]): pass z.T";
      throw py::value_error(message);
    }
  } else if (m.z.ndim() == 1) {
    if (m.z.shape(0) != nx * ny)
      throw py::value_error("z must hold len(x) * len(y) = " + std::to_string(nx * ny) +
                            " values, not " + std::to_string(m.z.shape(0)));
  } else {
    throw py::value_error("z must be one- or two-dimensional, not of shape " + shape_text(m.z));
  }
  m.x = viewable(m.x);
  m.y = viewable(m.y);
  m.z = viewable(m.z);
  return m;
}

py::array_t<std::uint8_t> rgb_array(const gfxwin::Picture& picture, int width, int height) {
  width = std::min(width, picture.width);
  height = std::min(height, picture.height);
  py::array_t<std::uint8_t> rgb({height, width, 3});
  auto out = rgb.mutable_unchecked<3>();
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column) {
      const std::uint32_t pixel = picture.at(column, row);  // 0xRRGGBB
      out(row, column, 0) = static_cast<std::uint8_t>(pixel >> 16);
      out(row, column, 1) = static_cast<std::uint8_t>(pixel >> 8);
      out(row, column, 2) = static_cast<std::uint8_t>(pixel);
    }
  return rgb;
}

}  // namespace pymapplot
