#pragma once
// mapplot.Movie: a film of pictures (mapfilm/film.h), written as a context
// manager's body adds them, and shown in a notebook once written.

#include <pybind11/pybind11.h>

namespace pymapplot {

namespace py = pybind11;

// Adds Movie to the module.
void add_movie_type(py::module_& m);

}  // namespace pymapplot
