#pragma once
// numpy arrays and the views of maparg/views.h: the arrays of a call checked
// and seen through views (their strides in elements, no copy where the
// strides allow), and vectors and pictures handed back as numpy arrays.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "gfxwin/graphics.h"
#include "maparg/views.h"

namespace pymapplot {

namespace py = pybind11;

// x, y and z of one call as numpy arrays held for its duration.
struct MapArrays {
  py::array x, y, z;
  bool double_precision = false;
  bool matrix = false;
};

// Checks the arrays of a call before anything is done with them: dtype
// (TypeError: real or integer numbers, bools too; all three float32 or
// float16 take the single-precision forms as float32, anything else the
// double-precision forms as float64), dimensions and sizes
// (ValueError: x and y one-dimensional, z flat with len(x) * len(y) values or
// of shape (len(x), len(y))). Each is the caller's array when it is of the
// form's dtype, its strides whole elements and its data aligned, else a copy.
MapArrays map_arrays(const py::object& x, const py::object& y, const py::object& z);

template <class T>
maparg::Index element_stride(const py::array& a, py::ssize_t dim) {
  return static_cast<maparg::Index>(a.strides(dim) / static_cast<py::ssize_t>(sizeof(T)));
}

template <class T>
maparg::VecView<T> vec_view(const py::array& a) {
  return maparg::VecView<T>(static_cast<const T*>(a.data()), a.shape(0),
                            element_stride<T>(a, 0));
}

template <class T>
maparg::MatView<T> mat_view(const py::array& a) {
  return maparg::MatView<T>(static_cast<const T*>(a.data()), a.shape(0), a.shape(1),
                            element_stride<T>(a, 0), element_stride<T>(a, 1));
}

// Calls `form` with the views of the matching argument form: precision, and
// z flat or a matrix. A rendering's overload set takes them as they come.
template <class Form>
void with_views(const MapArrays& m, Form&& form) {
  if (m.double_precision) {
    if (m.matrix) form(vec_view<double>(m.x), vec_view<double>(m.y), mat_view<double>(m.z));
    else form(vec_view<double>(m.x), vec_view<double>(m.y), vec_view<double>(m.z));
  } else {
    if (m.matrix) form(vec_view<float>(m.x), vec_view<float>(m.y), mat_view<float>(m.z));
    else form(vec_view<float>(m.x), vec_view<float>(m.y), vec_view<float>(m.z));
  }
}

// The values as a one-dimensional array that owns them.
template <class T>
py::array_t<T> to_numpy(std::vector<T>&& values) {
  auto* held = new std::vector<T>(std::move(values));
  py::capsule owner(held, [](void* p) { delete static_cast<std::vector<T>*>(p); });
  return py::array_t<T>(static_cast<py::ssize_t>(held->size()), held->data(), owner);
}

// The top-left width x height pixels of a picture (at most all of it) as an
// array of shape (height, width, 3): rows, columns, red green blue.
py::array_t<std::uint8_t> rgb_array(const gfxwin::Picture& picture, int width, int height);

}  // namespace pymapplot
