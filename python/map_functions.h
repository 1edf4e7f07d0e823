#pragma once
// The module's map functions: each checks its arguments (values.h, arrays.h),
// then, as one call of the module (bridge.h), calls the C++ form that matches
// its arrays without the interpreter lock, so that files, console lines and
// pixels are exactly that form's.
// What each does for the Python user is its docstring (docstrings.h).

#include <pybind11/pybind11.h>

namespace pymapplot {

namespace py = pybind11;

py::object scr_map(const py::args& args, const py::kwargs& kwargs);
py::object render(const py::args& args, const py::kwargs& kwargs);
py::object ps_map(const py::args& args, const py::kwargs& kwargs);
py::object dat_map(const py::args& args, const py::kwargs& kwargs);
py::object nc_map(const py::args& args, const py::kwargs& kwargs);

// The type of read_map's result: collections.namedtuple MapData(x, y, z,
// xlabel, ylabel, title) of the module mapplot.
py::object map_data_type();
// `map_data` is that type.
py::object read_map(const py::object& map_data, const py::object& path);

}  // namespace pymapplot
