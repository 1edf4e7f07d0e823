#include "python/arrays.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

namespace pymapplot {
namespace {

std::string dtype_name(const py::array& a) { return py::str(a.dtype()).cast<std::string>(); }

// Anything numpy.asarray takes, as an array of float32 or float64 in the
// machine's byte order.
py::array float_array(const py::object& value, const char* name) {
  py::array a = py::module_::import("numpy").attr("asarray")(value);
  const py::dtype type = a.dtype();
  if (type.kind() != 'f' || (type.itemsize() != 4 && type.itemsize() != 8))
    throw py::type_error(std::string(name) + " must hold float32 or float64 values, not " +
                         dtype_name(a));
  if (!type.attr("isnative").cast<bool>()) a = a.attr("astype")(type.attr("newbyteorder")("="));
  return a;
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

// z with its masked cells (a numpy.ma.MaskedArray of floats) as NaN, in a
// copy: they are drawn as values that are not numbers. Anything else as it is.
py::object unmasked(const py::object& z) {
  const py::module_ ma = py::module_::import("numpy.ma");
  if (!py::isinstance(z, ma.attr("MaskedArray"))) return z;
  if (z.attr("dtype").attr("kind").cast<std::string>() != "f") return z;  // float_array refuses it
  return z.attr("filled")(std::nan(""));
}

}  // namespace

MapArrays map_arrays(const py::object& x, const py::object& y, const py::object& z) {
  MapArrays m{float_array(x, "x"), float_array(y, "y"), float_array(unmasked(z), "z")};
  if (m.x.itemsize() != m.y.itemsize() || m.x.itemsize() != m.z.itemsize())
    throw py::type_error("x, y and z must be of one precision, not " + dtype_name(m.x) + ", " +
                         dtype_name(m.y) + " and " + dtype_name(m.z));
  if (m.x.ndim() != 1 || m.y.ndim() != 1)
    throw py::value_error("x and y must be one-dimensional, not of shapes " + shape_text(m.x) +
                          " and " + shape_text(m.y));
  const py::ssize_t nx = m.x.shape(0), ny = m.y.shape(0);
  m.double_precision = m.x.itemsize() == 8;
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
