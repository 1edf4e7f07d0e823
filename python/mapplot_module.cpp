// The Python module mapplot: the three renderings, the data file reader and
// the windowing runtime for numpy arrays.
//
// A thin layer in parts: numpy arrays become the views of maparg/views.h
// (arrays.h), keyword arguments become the options structs, None = absent
// (values.h), and each call goes to the one C++ form that matches its arrays
// (map_functions.h), so files, console lines and pixels are exactly that
// form's. What render and ps_map return shows in a notebook (notebook.h).
// The calls run at once on several threads, their routines' work without the
// interpreter lock; their console records go on as warnings and to
// sys.stdout, fatal errors and Ctrl+C become exceptions (bridge.h). This file
// only names what the module holds.

#include <pybind11/pybind11.h>

#include "python/bridge.h"
#include "python/docstrings.h"
#include "python/map_functions.h"
#include "python/notebook.h"

namespace py = pybind11;

PYBIND11_MODULE(mapplot, m) {
  using namespace pymapplot;
  // The docstrings begin with signatures written for readers (None, not "object").
  py::options options;
  options.disable_function_signatures();
  m.doc() = kModuleDoc;
  m.attr("__version__") = MAPPLOT_VERSION;
  add_exceptions(m);
  add_quiet(m);
  add_notebook_types(m);

  m.def("scr_map", &scr_map, kScrMapDoc);
  m.def("render", &render, kRenderDoc);
  m.def("ps_map", &ps_map, kPsMapDoc);
  m.def("dat_map", &dat_map, kDatMapDoc);

  const py::object map_data = map_data_type();
  m.attr("MapData") = map_data;
  m.def(
      "read_map", [map_data](const py::object& path) { return read_map(map_data, path); },
      py::arg("path"), kReadMapDoc);

  m.def("run_program", &run_program, py::arg("name"), py::arg("main"), kRunProgramDoc);

  // The public names, for "from mapplot import *" and for readers.
  py::list all;
  for (const char* name : {"scr_map", "render", "ps_map", "dat_map", "read_map", "run_program",
                           "quiet", "MapData", "MapFile", "Picture", "FatalError", "MapWarning"})
    all.append(name);
  m.attr("__all__") = all;
}
