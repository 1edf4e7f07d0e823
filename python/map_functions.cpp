#include "python/map_functions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

}  // namespace

py::object scr_map(const py::args& args, const py::kwargs& kwargs) {
  const MapCall call("scr_map", map_keywords({"size", "own_window", "continuation"}), args,
                     kwargs);
  return module_call(Work::kScreen, [&] {
    const MapArrays arrays = call.arrays();
    const MapOptions shared(call);
    mapscreen::ScreenMapOptions o;
    shared.apply(call, o);
    o.size = int_option(call.option("size"), "size");
    o.own_window = int_option(call.option("own_window"), "own_window");
    o.continuation = int_option(call.option("continuation"), "continuation");
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

py::object ps_map(const py::args& args, const py::kwargs& kwargs) {
  const MapCall call("ps_map", map_keywords({"file", "device", "aspect", "pixels"}), args, kwargs);
  return module_call(Work::kPostScript, [&] {
    const MapArrays arrays = call.arrays();
    const MapOptions shared(call);
    mapps::PsMapOptions o;
    shared.apply(call, o);
    o.file = view_of(shared.texts().file);
    o.device = view_of(shared.texts().device);
    o.aspect = view_of(shared.texts().aspect);
    o.pixels = pixels_option(call.option("pixels"));
    mapps::PsMapResult written;
    without_gil([&] {
      with_views(arrays,
                 [&](auto x, auto y, auto z) { written = mapps::postscript_map(x, y, z, o); });
    });
    // A call that writes no file raises: the arguments or the device type
    // refused (the warning's text), or the file not opened (its errno).
    using Outcome = mapps::PsMapResult::Outcome;
    switch (written.outcome) {
      case Outcome::kNotOpened:
        raise_os_error(written.error, written.file);
      case Outcome::kRefused:
      case Outcome::kDeviceRefused:
        raise(PyExc_ValueError, written.message);
      case Outcome::kNoFile:
        return py::object(py::none());
      case Outcome::kWritten:
        break;
    }
    return map_file(written);
  });
}

py::object dat_map(const py::args& args, const py::kwargs& kwargs) {
  const MapCall call("dat_map", {"log", "xlabel", "ylabel", "title", "file"}, args, kwargs);
  return module_call(Work::kFiles, [&] {
    const MapArrays arrays = call.arrays();
    const Texts t = texts(call);
    const mapdata::DatMapOptions o{int_option(call.option("log"), "log"), view_of(t.xlabel),
                                   view_of(t.ylabel), view_of(t.title), view_of(t.file)};
    without_gil([&] {
      with_views(arrays, [&](auto x, auto y, auto z) { mapdata::data_export(x, y, z, o); });
    });
    return py::none();
  });
}

py::object nc_map(const py::args& args, const py::kwargs& kwargs) {
  const MapCall call("nc_map", {"log", "xlabel", "ylabel", "title", "file"}, args, kwargs);
  return module_call(Work::kFiles, [&] {
    const MapArrays arrays = call.arrays();
    const Texts t = texts(call);
    const mapnc::NcMapOptions o{int_option(call.option("log"), "log"), view_of(t.xlabel),
                                view_of(t.ylabel), view_of(t.title), view_of(t.file)};
    without_gil([&] {
      with_views(arrays, [&](auto x, auto y, auto z) { mapnc::netcdf_export(x, y, z, o); });
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
