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

#include <cstring>
#include <string>

#include "python/bridge.h"
#include "python/docstrings.h"
#include "python/map_functions.h"
#include "python/notebook.h"

namespace py = pybind11;

namespace {

// The docstring with the signature it begins with (its return annotation
// left out) first as CPython's text signature, "name(...)\n--\n\n", which
// inspect.signature reads from __text_signature__; __doc__ is the docstring
// as written.
std::string with_text_signature(const char* doc) {
  std::string first(doc, std::strchr(doc, '\n'));
  const std::size_t arrow = first.find(" -> ");
  if (arrow != std::string::npos) first.erase(arrow);
  return first + "\n--\n\n" + doc;
}

}  // namespace

PYBIND11_MODULE(mapplot, m) {
  using namespace pymapplot;
  // The docstrings begin with signatures written for readers (None, not
  // "object"), which are also the routines' text signatures.
  py::options options;
  options.disable_function_signatures();
  m.doc() = kModuleDoc;
  m.attr("__version__") = MAPPLOT_VERSION;
  add_exceptions(m);
  add_quiet(m, with_text_signature(kQuietDoc));
  add_notebook_types(m);

  m.def("scr_map", &scr_map, with_text_signature(kScrMapDoc).c_str());
  m.def("render", &render, with_text_signature(kRenderDoc).c_str());
  m.def("ps_map", &ps_map, with_text_signature(kPsMapDoc).c_str());
  m.def("dat_map", &dat_map, with_text_signature(kDatMapDoc).c_str());
  m.def("nc_map", &nc_map, with_text_signature(kNcMapDoc).c_str());

  const py::object map_data = map_data_type();
  m.attr("MapData") = map_data;
  m.def(
      "read_map", [map_data](const py::object& path) { return read_map(map_data, path); },
      py::arg("path"), with_text_signature(kReadMapDoc).c_str());

  m.def("run_program", &run_program, py::arg("name"), py::arg("main"),
        with_text_signature(kRunProgramDoc).c_str());

  // The public names, for "from mapplot import *" and for readers.
  py::list all;
  for (const char* name : {"scr_map", "render", "ps_map", "dat_map", "nc_map", "read_map", "run_program",
                           "quiet", "MapData", "MapFile", "Picture", "FatalError", "MapWarning"})
    all.append(name);
  m.attr("__all__") = all;
}
