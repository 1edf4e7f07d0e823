#pragma once
// What a notebook shows for the module's results. IPython shows a value
// through its _repr_png_ or _repr_svg_ method when it has one, so:
//   - render returns a mapplot.Picture: a numpy.ndarray subclass, the RGB
//     array itself, whose _repr_png_ encodes its pixels (gfxwin/png_file.h);
//   - ps_map returns a mapplot.MapFile when it wrote a PNG or SVG file: the
//     file's name (os.PathLike) whose _repr_png_ or _repr_svg_ gives the file.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>

#include "mapps/ps_map.h"

namespace pymapplot {

namespace py = pybind11;

// Adds Picture and MapFile to the module.
void add_notebook_types(py::module_& m);

// The array as a mapplot.Picture, a view of it.
py::object as_picture(const py::array_t<std::uint8_t>& rgb);

// The file ps_map wrote, as a MapFile when it is a PNG or SVG file, else
// None (no file, or one a notebook cannot show: PostScript, PDF).
py::object shown_file(const mapps::PsMapResult& written);

}  // namespace pymapplot
