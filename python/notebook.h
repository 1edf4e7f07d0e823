#pragma once
// What a notebook shows for the module's results. IPython shows a value
// through its _repr_png_ or _repr_svg_ method when it has one, so:
//   - render returns a mapplot.Picture: a numpy.ndarray subclass, the RGB
//     array itself, whose _repr_png_ encodes its pixels (gfxwin/png_file.h);
//   - ps_map returns a mapplot.MapFile for the file it wrote: the file's name
//     (os.PathLike) and format, whose _repr_png_ or _repr_svg_ gives a PNG or
//     SVG file (None for PostScript and PDF, which then show as text).

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

// The file ps_map wrote (a result of kWritten), as a MapFile.
py::object map_file(const mapps::PsMapResult& written);

}  // namespace pymapplot
