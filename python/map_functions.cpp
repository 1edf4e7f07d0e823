#include "python/map_functions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <memory>
#include <optional>
#include <type_traits>
#include <string>
#include <utility>
#include <vector>

#include "gfxwin/graphics.h"
#include "maparg/convert.h"
#include "mapdata/dat_map.h"
#include "mapdata/map_reader.h"
#include "mapnc/nc_map.h"
#include "mapps/ps_map.h"
#include "mapscreen/screen_map.h"
#include "python/arrays.h"
#include "python/bridge.h"
#include "python/docstrings.h"
#include "python/map_options.h"
#include "python/mpi_routines.h"
#include "python/notebook.h"
#include "python/values.h"

namespace pymapplot {
namespace {

// The screen map's z as the form of its precision and shape takes it: scr_map
// rescales a flat double-precision z in place, so it gets a copy, and the
// caller's array stays as it was.
std::vector<double> screen_values(maparg::VecView<double> z) {
  return maparg::to_vector<double>(z);
}
template <class Z>
Z screen_values(Z z) {
  return z;
}

void paint(const MapArrays& arrays, const mapscreen::ScreenMapOptions& o) {
  with_views(arrays, [&](auto x, auto y, auto z) {
    auto values = screen_values(z);
    mapscreen::screen_map(x, y, values, o);
  });
}

// A file that cannot be opened raises OSError (FileNotFoundError ...) as
// open() would; anything else the reader reports raises ValueError.
[[noreturn]] void raise_read_error(const py::object& path_object, const std::string& path,
                                   const std::string& message) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  int error = fd < 0 ? errno : 0;
  if (fd >= 0) {
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) error = EISDIR;
    close(fd);
  }
  if (error != 0) {
    errno = error;
    PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path_object.ptr());
    throw py::error_already_set();
  }
  throw py::value_error(message);
}

// A call given comm= (an mpi4py communicator): mapmpi's routines, from the
// extension module _mapplot_mpi, with the communicator's address and
// offset= (two ints, from 0; (0, 0) when absent). Without comm=, none.
struct Distributed {
  const MpiRoutines* routines = nullptr;
  MpiCall call;
  rtl::Hooks hooks;
  // Runs `routine` (a member of MpiRoutines) under the hooks of this thread's
  // call, as they are when it starts.
  template <class F>
  auto run(F&& routine) {
    using rtl::Hooks;
    using rtl::current_hook;
    hooks = Hooks{current_hook(&Hooks::console_output), current_hook(&Hooks::console_listener),
                  current_hook(&Hooks::output_flusher), current_hook(&Hooks::interruption_check),
                  current_hook(&Hooks::fatal_reporter), current_hook(&Hooks::fatal_exit),
                  current_hook(&Hooks::fatal_errors)};
    call.hooks = &hooks;
    return routine(call);
  }
};

// The keywords of a routine that also takes a field spread over MPI ranks.
std::vector<std::string> with_spread(std::vector<std::string> keywords) {
  keywords.insert(keywords.end(), {"comm", "offset"});
  return keywords;
}

std::optional<Distributed> distributed(const MapCall& call) {
  const py::object comm = call.option("comm");
  const py::object offset = call.option("offset");
  if (comm.is_none()) {
    if (!offset.is_none()) throw py::type_error("offset= is given with comm= alone");
    return std::nullopt;
  }
  Distributed d;
  d.call.comm = py::module_::import("mpi4py.MPI").attr("_addressof")(comm).cast<std::uintptr_t>();
  if (!offset.is_none()) {
    const py::tuple ij = py::tuple(offset);
    if (ij.size() != 2) throw py::value_error("offset takes two ints (i0, j0), from 0");
    d.call.offset = {ij[0].cast<maparg::Index>(), ij[1].cast<maparg::Index>()};
  }
  const py::capsule routines = py::module_::import("_mapplot_mpi").attr("routines");
  d.routines = static_cast<const MpiRoutines*>(routines.get_pointer());
  return d;
}

// The form of mapmpi's routine for x, y and z's precision and shape.
template <class Z>
auto form_of(auto flat, auto flat_r8, auto matrix, auto matrix_r8, const MpiRoutines& r, Z) {
  if constexpr (std::is_same_v<Z, maparg::VecView<float>>) return r.*flat;
  else if constexpr (std::is_same_v<Z, maparg::VecView<double>>) return r.*flat_r8;
  else if constexpr (std::is_same_v<Z, maparg::MatView<float>>) return r.*matrix;
  else return r.*matrix_r8;
}

}  // namespace

py::object scr_map(const py::args& args, const py::kwargs& kwargs) {
  // The screen map's film after the options of both maps.
  std::vector<std::string> keywords = map_keywords({"size", "own_window", "continuation"});
  keywords.insert(keywords.end(), {"record", "fps"});
  const MapCall call("scr_map", std::move(keywords), args, kwargs);
  return module_call(Work::kScreen, [&] {
    const MapArrays arrays = call.arrays();
    const MapOptions shared(call);
    mapscreen::ScreenMapOptions o;
    shared.apply(call, o);
    o.size = int_option(call.option("size"), "size");
    o.own_window = int_option(call.option("own_window"), "own_window");
    o.continuation = int_option(call.option("continuation"), "continuation");
    const std::optional<std::string> record = text_argument(call.option("record"), "record", true);
    o.record = view_of(record);
    o.fps = real_option(call.option("fps"), "fps");
    without_gil([&] { paint(arrays, o); });
    return py::none();
  });
}

py::object render(const py::args& args, const py::kwargs& kwargs) {
  const MapCall call("render", map_keywords({"size"}), args, kwargs);
  return module_call(Work::kScreen, [&]() -> py::object {
    const MapArrays arrays = call.arrays();
    const MapOptions shared(call);
    mapscreen::ScreenMapOptions o;
    shared.apply(call, o);
    o.size = int_option(call.option("size"), "size");
    o.own_window = -1;  // painted as into a window of its own, off screen
    o.continuation = 0;
    gfxwin::Picture picture;
    without_gil([&] {
      const mapscreen::OffscreenMap offscreen;
      paint(arrays, o);
      offscreen.picture(picture);
    });
    const mapscreen::Area painted = mapscreen::painted_area(o.size.value_or(1), true);
    return as_picture(rgb_array(picture, painted.w, painted.h));
  });
}

namespace {

// What a PostScript map that wrote no file raises: the arguments or the
// device type refused (the warning's text), or the file not opened (its
// errno); true when it wrote one (or drew into a page).
bool raise_unless_written(const mapps::PsMapResult& written) {
  using Outcome = mapps::PsMapResult::Outcome;
  switch (written.outcome) {
    case Outcome::kNotOpened:
      raise_os_error(written.error, written.file);
    case Outcome::kRefused:
    case Outcome::kDeviceRefused:
      raise(PyExc_ValueError, written.message);
    case Outcome::kNoFile:
      return false;
    case Outcome::kOnPage:
    case Outcome::kWritten:
      break;
  }
  return true;
}

// ps_map's call, into the next panel of `page` when there is one.
py::object postscript_call(const char* name, const py::args& args, const py::kwargs& kwargs,
                           mapps::Page* page) {
  // A page's panel is drawn by this process alone: no comm= there.
  std::vector<std::string> keywords = map_keywords({"file", "device", "aspect", "pixels"});
  const MapCall call(name, page == nullptr ? with_spread(keywords) : keywords, args, kwargs);
  return module_call(Work::kPostScript, [&] {
    const MapArrays arrays = call.arrays();
    const MapOptions shared(call);
    mapps::PsMapOptions o;
    shared.apply(call, o);
    o.file = view_of(shared.texts().file);
    o.device = view_of(shared.texts().device);
    o.aspect = view_of(shared.texts().aspect);
    o.pixels = pixels_option(call.option("pixels"));
    o.page = page;
    std::optional<Distributed> spread = distributed(call);
    mapps::PsMapResult written;
    without_gil([&] {
      with_views(arrays, [&](auto x, auto y, auto z) {
        if (!spread) {
          written = mapps::postscript_map(x, y, z, o);
          return;
        }
        const auto routine = form_of(&MpiRoutines::ps_map, &MpiRoutines::ps_map_r8,
                                     &MpiRoutines::ps_map_2d, &MpiRoutines::ps_map_2d_r8,
                                     *spread->routines, z);
        written = spread->run([&](const MpiCall& c) { return routine(c, x, y, z, o); });
      });
    });
    if (!raise_unless_written(written) || page != nullptr) return py::object(py::none());
    return map_file(written);
  });
}

// mapplot.Page: the C++ page, opened when it is made.
class PyPage {
 public:
  PyPage(const py::object& file, const py::object& device, const py::object& panels,
         const py::object& pixels) {
    const std::optional<std::string> f = text_argument(file, "file", true);
    const std::optional<std::string> d = text_argument(device, "device");
    const py::tuple cr = py::tuple(panels);
    if (cr.size() != 2) throw py::value_error("panels takes two ints (columns, rows)");
    const std::optional<int> columns = int_option(cr[0], "panels");
    const std::optional<int> rows = int_option(cr[1], "panels");
    if (!columns || !rows) throw py::type_error("panels takes two ints (columns, rows)");
    const auto size = pixels_option(pixels);
    module_call(Work::kPostScript, [&] {
      without_gil([&] {
        page_ = std::make_unique<mapps::Page>(view_of(f), view_of(d),
                                              std::array<int, 2>{*columns, *rows}, size);
      });
      if (!page_->is_open()) raise_unless_written(page_->opened());
      return py::object(py::none());
    });
  }

  py::object ps_map(const py::args& args, const py::kwargs& kwargs) {
    return postscript_call("Page.ps_map", args, kwargs, page_.get());
  }

  py::object close() {
    return module_call(Work::kPostScript, [&] {
      mapps::PsMapResult written;
      without_gil([&] { written = page_->close(); });
      file_ = raise_unless_written(written) ? map_file(written) : py::object(py::none());
      return file_;
    });
  }

  void abandon() {
    module_call(Work::kPostScript, [&] {
      without_gil([&] { page_->abandon(); });
      return py::object(py::none());
    });
  }

  const py::object& file() const { return file_; }

 private:
  std::unique_ptr<mapps::Page> page_;
  py::object file_ = py::none();
};

}  // namespace

py::object ps_map(const py::args& args, const py::kwargs& kwargs) {
  return postscript_call("ps_map", args, kwargs, nullptr);
}

void add_page_type(py::module_& m) {
  py::class_<PyPage>(m, "Page", kPageDoc)
      .def(py::init<const py::object&, const py::object&, const py::object&, const py::object&>(),
           py::arg("file") = py::none(), py::arg("device") = py::none(),
           py::arg("panels") = py::make_tuple(1, 1), py::arg("pixels") = py::none())
      .def("ps_map", &PyPage::ps_map)
      .def("close", &PyPage::close)
      .def_property_readonly("file", &PyPage::file)
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](PyPage& page, const py::object& type, const py::object&,
                          const py::object&) {
        if (type.is_none()) page.close();
        else page.abandon();
        return false;
      });
}

py::object dat_map(const py::args& args, const py::kwargs& kwargs) {
  const MapCall call("dat_map", with_spread({"log", "xlabel", "ylabel", "title", "file"}), args,
                     kwargs);
  return module_call(Work::kFiles, [&] {
    const MapArrays arrays = call.arrays();
    const Texts t = texts(call);
    const mapdata::DatMapOptions o{int_option(call.option("log"), "log"), view_of(t.xlabel),
                                   view_of(t.ylabel), view_of(t.title), view_of(t.file)};
    std::optional<Distributed> spread = distributed(call);
    without_gil([&] {
      with_views(arrays, [&](auto x, auto y, auto z) {
        if (!spread) return mapdata::data_export(x, y, z, o);
        const auto routine = form_of(&MpiRoutines::dat_map, &MpiRoutines::dat_map_r8,
                                     &MpiRoutines::dat_map_2d, &MpiRoutines::dat_map_2d_r8,
                                     *spread->routines, z);
        spread->run([&](const MpiCall& c) { routine(c, x, y, z, o); });
      });
    });
    return py::none();
  });
}

py::object nc_map(const py::args& args, const py::kwargs& kwargs) {
  const MapCall call("nc_map", with_spread({"log", "xlabel", "ylabel", "title", "file"}), args,
                     kwargs);
  return module_call(Work::kFiles, [&] {
    const MapArrays arrays = call.arrays();
    const Texts t = texts(call);
    const mapnc::NcMapOptions o{int_option(call.option("log"), "log"), view_of(t.xlabel),
                                view_of(t.ylabel), view_of(t.title), view_of(t.file)};
    std::optional<Distributed> spread = distributed(call);
    if (spread && spread->routines->nc_map == nullptr)
      throw py::value_error("nc_map with comm=: built without the parallel NetCDF library");
    without_gil([&] {
      with_views(arrays, [&](auto x, auto y, auto z) {
        if (!spread) return mapnc::netcdf_export(x, y, z, o);
        const auto routine = form_of(&MpiRoutines::nc_map, &MpiRoutines::nc_map_r8,
                                     &MpiRoutines::nc_map_2d, &MpiRoutines::nc_map_2d_r8,
                                     *spread->routines, z);
        const mapdata::DatMapOptions d{o.log, o.xlabel, o.ylabel, o.title, o.file};
        spread->run([&](const MpiCall& c) { routine(c, x, y, z, d); });
      });
    });
    return py::none();
  });
}

py::object map_data_type() {
  py::object map_data = py::module_::import("collections")
                            .attr("namedtuple")("MapData", py::make_tuple("x", "y", "z", "xlabel",
                                                                          "ylabel", "title"));
  map_data.attr("__module__") = "mapplot";
  map_data.attr("__doc__") = kMapDataDoc;
  return map_data;
}

py::object read_map(const py::object& map_data, const py::object& path) {
  if (path.is_none()) throw py::type_error("path must be a str or os.PathLike, not None");
  return module_call(Work::kFiles, [&] {
    const std::string name = *text_argument(path, "path", true);
    mapdata::MapReadResult result;
    without_gil([&] { result = mapnc::read_map(name); });
    if (!result) raise_read_error(path, name, result.error);
    mapdata::MapData& d = *result.map;
    if (d.double_precision)
      return map_data(to_numpy(std::move(d.x_r8)), to_numpy(std::move(d.y_r8)),
                      to_numpy(std::move(d.z_r8)), text_object(d.xlabel), text_object(d.ylabel),
                      text_object(d.title));
    return map_data(to_numpy(std::move(d.x)), to_numpy(std::move(d.y)), to_numpy(std::move(d.z)),
                    text_object(d.xlabel), text_object(d.ylabel), text_object(d.title));
  });
}

}  // namespace pymapplot
