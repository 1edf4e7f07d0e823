// The Python module mapplot: the three renderings, the data file reader and
// the windowing runtime for numpy arrays.
//
// A thin layer: numpy arrays become the views of maparg/views.h (their
// strides in elements, no copy where the strides allow), keyword arguments
// become the options structs (None = absent), and each call goes to the one
// C++ form that matches its arrays, so files, console lines and pixels are
// exactly that form's. Around the calls:
//   - console records go to sys.stdout instead of standard output;
//   - the fatal error report raises mapplot.FatalError instead of ending the
//     process: the temporary files are removed by then and the routines
//     unwind with no device open, so the next call starts afresh;
//   - the interpreter lock stays held during a call, which keeps the calls
//     one at a time, as the module requires.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "gfxwin/graphics.h"
#include "gfxwin/runtime.h"
#include "maparg/convert.h"
#include "mapdata/dat_map.h"
#include "mapdata/map_reader.h"
#include "mapps/ps_map.h"
#include "mapscreen/screen_map.h"
#include "rtl/console.h"
#include "rtl/fatal.h"

namespace py = pybind11;

namespace {

using maparg::Index;
using maparg::MatView;
using maparg::VecView;

// --- Fatal errors and console records ---------------------------------------

// Thrown by the fatal error report's exit function; Python sees mapplot.FatalError.
class FatalError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The message of the report being made (the exit function is told only the code).
thread_local std::string fatal_message;

// Ends the process as the report would without us: for a report made on a
// thread that runs no Python (the window system's), where nothing could
// catch an exception.
[[noreturn]] void end_process(int code) {
  std::fflush(nullptr);
  std::_Exit(code);
}

// Text for Python: bytes that are not UTF-8 (a label from a data file of any
// origin) become lone surrogates, which text_argument turns back into them.
py::object text_object(std::string_view text) {
  py::object s = py::reinterpret_steal<py::object>(PyUnicode_DecodeUTF8(
      text.data(), static_cast<Py_ssize_t>(text.size()), "surrogateescape"));
  if (!s) throw py::error_already_set();
  return s;
}

void write_console_record(std::string_view record) {
  py::gil_scoped_acquire gil;
  try {
    py::object out = py::module_::import("sys").attr("stdout");
    out.attr("write")(text_object(record) + py::str("\n"));
    out.attr("flush")();  // one line at a time, as on standard output
  } catch (py::error_already_set&) {
    // No usable sys.stdout (closed, or None without a console): the record
    // still goes out, to standard output.
    std::fwrite(record.data(), 1, record.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
}

void install_hooks() {
  rtl::set_console_output(write_console_record);
  rtl::set_fatal_reporter([](std::string_view message) { fatal_message.assign(message); });
  rtl::set_fatal_exit([](int code) {
    if (!PyGILState_Check()) end_process(code);
    throw FatalError(fatal_message);
  });
}

// --- Arrays ------------------------------------------------------------------

// x, y and z of one call as numpy arrays held for its duration.
struct MapArrays {
  py::array x, y, z;
  bool double_precision = false;
  bool matrix = false;
};

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

// Checks the arrays of a call before anything is done with them: dtype
// (TypeError), dimensions and sizes (ValueError).
MapArrays map_arrays(const py::object& x, const py::object& y, const py::object& z) {
  MapArrays m{float_array(x, "x"), float_array(y, "y"), float_array(z, "z")};
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

template <class T>
Index element_stride(const py::array& a, py::ssize_t dim) {
  return static_cast<Index>(a.strides(dim) / static_cast<py::ssize_t>(sizeof(T)));
}

template <class T>
VecView<T> vec_view(const py::array& a) {
  return VecView<T>(static_cast<const T*>(a.data()), a.shape(0), element_stride<T>(a, 0));
}

template <class T>
MatView<T> mat_view(const py::array& a) {
  return MatView<T>(static_cast<const T*>(a.data()), a.shape(0), a.shape(1),
                    element_stride<T>(a, 0), element_stride<T>(a, 1));
}

// Calls `form` with the views of the matching argument form: precision, and
// z flat or a matrix.
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

// --- Texts and options -------------------------------------------------------

// A text argument: None is absent; str (encoded as UTF-8, lone surrogates
// back to the bytes they stand for), bytes, and for file names os.PathLike.
std::optional<std::string> text_argument(const py::object& value, const char* name,
                                         bool path = false) {
  if (value.is_none()) return std::nullopt;
  py::object text = value;
  if (path) text = py::module_::import("os").attr("fspath")(value);
  if (py::isinstance<py::bytes>(text)) return text.cast<std::string>();
  if (!py::isinstance<py::str>(text))
    throw py::type_error(std::string(name) + " must be a str or None, not " +
                         py::str(py::type::of(value).attr("__name__")).cast<std::string>());
  py::object bytes = py::reinterpret_steal<py::object>(
      PyUnicode_AsEncodedString(text.ptr(), "utf-8", "surrogateescape"));
  if (!bytes) throw py::error_already_set();
  return bytes.cast<std::string>();
}

maparg::OptText view_of(const std::optional<std::string>& text) {
  return text ? maparg::OptText(*text) : std::nullopt;
}

// The texts of a call, owned for its duration.
struct Texts {
  std::optional<std::string> xlabel, ylabel, title, file, device;
};

Texts texts(const py::object& xlabel, const py::object& ylabel, const py::object& title,
            const py::object& file = py::none(), const py::object& device = py::none()) {
  return {text_argument(xlabel, "xlabel"), text_argument(ylabel, "ylabel"),
          text_argument(title, "title"), text_argument(file, "file", true),
          text_argument(device, "device")};
}

// --- The forms of each rendering ----------------------------------------------

void ps_form(VecView<float> x, VecView<float> y, VecView<float> z, const mapps::PsMapOptions& o) {
  mapps::ps_map(x, y, z, o);
}
void ps_form(VecView<double> x, VecView<double> y, VecView<double> z,
             const mapps::PsMapOptions& o) {
  mapps::ps_map_r8(x, y, z, o);
}
void ps_form(VecView<float> x, VecView<float> y, MatView<float> z, const mapps::PsMapOptions& o) {
  mapps::ps_map_2d(x, y, z, o);
}
void ps_form(VecView<double> x, VecView<double> y, MatView<double> z,
             const mapps::PsMapOptions& o) {
  mapps::ps_map_2d_r8(x, y, z, o);
}

void dat_form(VecView<float> x, VecView<float> y, VecView<float> z,
              const mapdata::DatMapOptions& o) {
  mapdata::dat_map(x, y, z, o);
}
void dat_form(VecView<double> x, VecView<double> y, VecView<double> z,
              const mapdata::DatMapOptions& o) {
  mapdata::dat_map_r8(x, y, z, o);
}
void dat_form(VecView<float> x, VecView<float> y, MatView<float> z,
              const mapdata::DatMapOptions& o) {
  mapdata::dat_map_2d(x, y, z, o);
}
void dat_form(VecView<double> x, VecView<double> y, MatView<double> z,
              const mapdata::DatMapOptions& o) {
  mapdata::dat_map_2d_r8(x, y, z, o);
}

// The base form rescales its z in place: it gets a copy, the caller's array
// stays as it was.
void scr_form(VecView<double> x, VecView<double> y, VecView<double> z,
              const mapscreen::ScreenMapOptions& o) {
  std::vector<double> copy = maparg::to_vector<double>(z);
  mapscreen::scr_map(x, y, copy, o);
}
void scr_form(VecView<float> x, VecView<float> y, VecView<float> z,
              const mapscreen::ScreenMapOptions& o) {
  mapscreen::scr_map_r4(x, y, z, o);
}
void scr_form(VecView<float> x, VecView<float> y, MatView<float> z,
              const mapscreen::ScreenMapOptions& o) {
  mapscreen::scr_map_2d(x, y, z, o);
}
void scr_form(VecView<double> x, VecView<double> y, MatView<double> z,
              const mapscreen::ScreenMapOptions& o) {
  mapscreen::scr_map_2d_r8(x, y, z, o);
}

// --- The Qt application --------------------------------------------------------

// Drawing texts outside run_program makes the font support create a Qt
// application of its own, which stays to the end of the process; run_program
// cannot create its application after that.
bool drawn_outside_runtime = false;

void note_screen_drawing() {
  if (!gfxwin::runtime_running()) drawn_outside_runtime = true;
}

// --- Reading -----------------------------------------------------------------

template <class T>
py::array_t<T> to_numpy(std::vector<T>&& values) {
  auto* held = new std::vector<T>(std::move(values));
  py::capsule owner(held, [](void* p) { delete static_cast<std::vector<T>*>(p); });
  return py::array_t<T>(static_cast<py::ssize_t>(held->size()), held->data(), owner);
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

// --- Docstrings ----------------------------------------------------------------

constexpr const char* kModuleDoc = R"doc(z = z(x, y) shown three ways, over numpy arrays.

    scr_map   a grey-level map in a graphics window (under run_program)
    render    the same map painted off screen, returned as an RGB array
    ps_map    a PostScript (or PNG, PDF, SVG) map drawn through PGPLOT
    dat_map   a plain text data file; read_map reads one back

x and y are one-dimensional, z is either flat (len(x) * len(y) values, the x
index fastest) or a matrix with z[i, j] the value at (x[i], y[j]): the first
index runs along x. A C-ordered Z from numpy.meshgrid(x, y) is indexed
[j, i], the other way round: pass Z.T, a view, not a copy. All three are
float32 or float64, all of one of them (anything numpy.asarray takes); the
call uses the module's form of that precision and shape, so the files,
console lines and pixels are exactly that form's. Strided, reversed and
Fortran-ordered arrays are read in place; the arrays are never changed.

The options are keywords, None (or left out) meaning absent: log (lowest
bit set: log10 of the values and the title "log(...)"; True works), xlabel,
ylabel, title, then size, own_window and continuation (screen map) or file
and device (PostScript map, data file). A text that is given replaces the
default, even when empty; texts are held in 80-byte fields.

Console lines (" Output in Map.dat" ...) are written to sys.stdout. Wrong
dtypes raise TypeError, wrong dimensions or sizes ValueError, before anything
is done. The module's fatal errors (log10 of zero or a negative value, a file
that cannot be written) raise FatalError with the module's message; no file
on disk is changed by them and the next call works as usual.
)doc";

constexpr const char* kScrMapDoc = R"doc(scr_map(x, y, z, *, log=None, xlabel=None, ylabel=None, title=None, size=None, own_window=None, continuation=None)

Paints z as a grey-level map (black for the smallest value, white for the
largest) beside a column of text naming the axes and the title and giving
the smallest and largest x, y and z.

size: 3 or more gives 1005 x 662 pixels, 2 gives 741 x 451, else 580 x 270
(own window) or 580 x 290. own_window (lowest bit set): a window of the map's
own, else the console window, and the call then waits for a line on standard
input (its end counts as Enter). continuation (lowest bit set): a later call
of a sequence, repainting the window in place; clear: open and frame a new
window. The windows are shown while run_program runs; outside it they are
surfaces only, each kept to the end of the process as a window would be (see
render for pictures without a window).
)doc";

constexpr const char* kRenderDoc = R"doc(render(x, y, z, *, log=None, xlabel=None, ylabel=None, title=None, size=None) -> numpy.ndarray

The screen map of scr_map(..., own_window=True, continuation=False) painted
into a surface without any window, returned as an array of shape
(663, 1005, 3), dtype uint8 (rows, columns, red green blue): the whole
surface of a graphics window, the map's area at its top left (size 1: 580 x
270 pixels, 2: 741 x 451, 3: 1005 x 662). The windows and sequences of
scr_map are left as they were.
)doc";

constexpr const char* kPsMapDoc = R"doc(ps_map(x, y, z, *, log=None, xlabel=None, ylabel=None, title=None, file=None, device=None)

Draws z through PGPLOT as a grey-scale image (lowest value black, highest
white) with a frame, numbered axes, a grey wedge, labels and title into the
file (default "Map.ps"). device: ps, cps (landscape PostScript), vps, vcps
(portrait), eps, pdf, vpdf, png, tpng, svg or null (either case). A file name
ending in "ps" takes the device type as its ending (Map.ps with png gives
Map.png). Afterwards " Output in <file>" is written. Fewer than two x or y
values, or a file or folder that may not be written, give a warning or
PGPLOT's message and no file. file may be a str or an os.PathLike,
used whole whatever its length; a NUL byte in file or device raises FatalError.
)doc";

constexpr const char* kDatMapDoc = R"doc(dat_map(x, y, z, *, log=None, xlabel=None, ylabel=None, title=None, file=None)

Writes the grid sizes, x, y, the values of z (x index fastest) and the three
texts to a text data file (default "Map.dat"), every line ended by CR LF,
then writes " Output in <file>". Values are written in single precision.
With float64 arrays and a flat z the default title is
"Representation of y=y(x)" (that form's), else "Representation of z=z(x,y)".
The file is written under a temporary name and put in place only when
complete. file may be a str or an os.PathLike, used whole whatever its length; a
NUL byte in it raises FatalError.
)doc";

constexpr const char* kReadMapDoc = R"doc(read_map(path) -> MapData

Reads a data file written by dat_map: MapData(x, y, z, xlabel, ylabel,
title), the coordinates and values as float32 arrays (z flat, as many values
as the file holds, x index fastest: z.reshape(len(y), len(x)).T is the
matrix z[i, j]) and the three texts. A file that cannot be opened raises
OSError; one that is not a data file raises ValueError naming the line.
)doc";

constexpr const char* kRunProgramDoc = R"doc(run_program(name, main) -> int

Runs main() under the windowing runtime: a frame window captioned name, with
a console window showing the console lines and a graphics window per screen
map window, the window system on this (the first) thread while main runs on
a worker thread of its own, holding the interpreter. Without a display (no
DISPLAY or WAYLAND_DISPLAY, no QT_QPA_PLATFORM) it runs on Qt's offscreen
platform and draws as usual. When main returns, the frame window's caption
says "[finished]" and, with a display, a message box asks whether to close
it (MAPPLOT_NO_ASK=1: nobody is asked).

Returns main's exit code: its return value (None is 0) or the code of the
SystemExit it raised. Any other exception main raises, FatalError among
them, ends the program with exit code 1 and is raised again from here once
the windows are closed. Closing the frame window while main runs ends the
process (exit code 2). Call it from the main thread, before any screen map
has been painted outside it in this process (render, scr_map).
)doc";

}  // namespace

PYBIND11_MODULE(mapplot, m) {
  // The docstrings begin with signatures written for readers (None, not "object").
  py::options options;
  options.disable_function_signatures();
  m.doc() = kModuleDoc;
  m.attr("__version__") = MAPPLOT_VERSION;
  py::register_exception<FatalError>(m, "FatalError");
  install_hooks();

  py::object none = py::none();

  m.def(
      "scr_map",
      [](const py::object& x, const py::object& y, const py::object& z, std::optional<int> log,
         const py::object& xlabel, const py::object& ylabel, const py::object& title,
         std::optional<int> size, std::optional<int> own_window,
         std::optional<int> continuation) {
        const MapArrays arrays = map_arrays(x, y, z);
        const Texts t = texts(xlabel, ylabel, title);
        const mapscreen::ScreenMapOptions o{log, view_of(t.xlabel), view_of(t.ylabel),
                                            view_of(t.title), size, own_window, continuation};
        note_screen_drawing();
        with_views(arrays, [&](auto vx, auto vy, auto vz) { scr_form(vx, vy, vz, o); });
      },
      py::arg("x"), py::arg("y"), py::arg("z"), py::kw_only(), py::arg("log") = none,
      py::arg("xlabel") = none, py::arg("ylabel") = none, py::arg("title") = none,
      py::arg("size") = none, py::arg("own_window") = none, py::arg("continuation") = none,
      kScrMapDoc);

  m.def(
      "render",
      [](const py::object& x, const py::object& y, const py::object& z, std::optional<int> log,
         const py::object& xlabel, const py::object& ylabel, const py::object& title,
         std::optional<int> size) {
        const MapArrays arrays = map_arrays(x, y, z);
        const Texts t = texts(xlabel, ylabel, title);
        const mapscreen::ScreenMapOptions o{log,  view_of(t.xlabel), view_of(t.ylabel),
                                            view_of(t.title), size, -1, 0};
        note_screen_drawing();
        gfxwin::Picture picture;
        {
          // The screen map's state goes on after the picture as before it.
          struct KeepState {
            mapscreen::ScreenMapState saved = mapscreen::screen_map_state();
            ~KeepState() { mapscreen::screen_map_state() = saved; }
          } keep;
          gfxwin::OffscreenDrawing offscreen;
          with_views(arrays, [&](auto vx, auto vy, auto vz) { scr_form(vx, vy, vz, o); });
          gfxwin::snapshot(mapscreen::screen_map_state().unit_counter, picture);
        }
        py::array_t<std::uint8_t> rgb({picture.height, picture.width, 3});
        auto out = rgb.mutable_unchecked<3>();
        for (int row = 0; row < picture.height; ++row)
          for (int column = 0; column < picture.width; ++column) {
            const std::uint32_t pixel = picture.at(column, row);  // 0xRRGGBB
            out(row, column, 0) = static_cast<std::uint8_t>(pixel >> 16);
            out(row, column, 1) = static_cast<std::uint8_t>(pixel >> 8);
            out(row, column, 2) = static_cast<std::uint8_t>(pixel);
          }
        return rgb;
      },
      py::arg("x"), py::arg("y"), py::arg("z"), py::kw_only(), py::arg("log") = none,
      py::arg("xlabel") = none, py::arg("ylabel") = none, py::arg("title") = none,
      py::arg("size") = none, kRenderDoc);

  m.def(
      "ps_map",
      [](const py::object& x, const py::object& y, const py::object& z, std::optional<int> log,
         const py::object& xlabel, const py::object& ylabel, const py::object& title,
         const py::object& file, const py::object& device) {
        const MapArrays arrays = map_arrays(x, y, z);
        const Texts t = texts(xlabel, ylabel, title, file, device);
        const mapps::PsMapOptions o{log,           view_of(t.xlabel), view_of(t.ylabel),
                                    view_of(t.title), view_of(t.file), view_of(t.device)};
        with_views(arrays, [&](auto vx, auto vy, auto vz) { ps_form(vx, vy, vz, o); });
      },
      py::arg("x"), py::arg("y"), py::arg("z"), py::kw_only(), py::arg("log") = none,
      py::arg("xlabel") = none, py::arg("ylabel") = none, py::arg("title") = none,
      py::arg("file") = none, py::arg("device") = none, kPsMapDoc);

  m.def(
      "dat_map",
      [](const py::object& x, const py::object& y, const py::object& z, std::optional<int> log,
         const py::object& xlabel, const py::object& ylabel, const py::object& title,
         const py::object& file) {
        const MapArrays arrays = map_arrays(x, y, z);
        const Texts t = texts(xlabel, ylabel, title, file);
        const mapdata::DatMapOptions o{log, view_of(t.xlabel), view_of(t.ylabel),
                                       view_of(t.title), view_of(t.file)};
        with_views(arrays, [&](auto vx, auto vy, auto vz) { dat_form(vx, vy, vz, o); });
      },
      py::arg("x"), py::arg("y"), py::arg("z"), py::kw_only(), py::arg("log") = none,
      py::arg("xlabel") = none, py::arg("ylabel") = none, py::arg("title") = none,
      py::arg("file") = none, kDatMapDoc);

  py::object map_data = py::module_::import("collections")
                            .attr("namedtuple")("MapData", py::make_tuple("x", "y", "z", "xlabel",
                                                                          "ylabel", "title"));
  map_data.attr("__module__") = "mapplot";
  m.attr("MapData") = map_data;

  m.def(
      "read_map",
      [map_data](const py::object& path) {
        if (path.is_none()) throw py::type_error("path must be a str or os.PathLike, not None");
        const std::string name = *text_argument(path, "path", true);
        mapdata::MapReadResult result = mapdata::read_map_file(name);
        if (!result) raise_read_error(path, name, result.error);
        mapdata::MapData& d = *result.map;
        return map_data(to_numpy(std::move(d.x)), to_numpy(std::move(d.y)),
                        to_numpy(std::move(d.z)), text_object(d.xlabel), text_object(d.ylabel),
                        text_object(d.title));
      },
      py::arg("path"), kReadMapDoc);

  m.def(
      "run_program",
      [](const std::string& name, const py::object& main) {
        if (!PyCallable_Check(main.ptr())) throw py::type_error("main must be callable");
        if (gfxwin::runtime_running()) throw py::value_error("run_program is already running");
        py::module_ threading = py::module_::import("threading");
        if (!threading.attr("current_thread")().is(threading.attr("main_thread")()))
          throw py::value_error("run_program must be called from the main thread");
        if (drawn_outside_runtime)
          throw py::value_error(
              "run_program cannot start after a screen map was painted outside it in this "
              "process (render, scr_map)");

        std::string program = name;
        char* argv[] = {program.data(), nullptr};
        std::optional<py::error_already_set> raised;
        int code = 0;
        {
          py::gil_scoped_release window_system;
          code = gfxwin::run_program(1, argv, name, [&]() -> int {
            py::gil_scoped_acquire gil;
            // The runtime's own hooks would end the process from this thread.
            install_hooks();
            try {
              py::object result = main();
              return result.is_none() ? 0 : result.cast<int>();
            } catch (py::error_already_set& e) {
              if (e.matches(PyExc_SystemExit)) {
                py::object status = e.value().attr("code");
                if (status.is_none()) return 0;
                if (py::isinstance<py::int_>(status)) return status.cast<int>();
                py::print(status, py::arg("file") = py::module_::import("sys").attr("stderr"));
                return 1;
              }
              raised = std::move(e);
            } catch (py::cast_error&) {
              PyErr_SetString(PyExc_TypeError, "main must return an int or None");
              raised.emplace();
            } catch (std::exception& e) {
              PyErr_SetString(PyExc_RuntimeError, e.what());
              raised.emplace();
            } catch (...) {  // nothing may leave the worker thread
              PyErr_SetString(PyExc_RuntimeError, "main ended with an unknown exception");
              raised.emplace();
            }
            return rtl::kFatalExitCode;
          });
        }
        install_hooks();  // the runtime removed its own on the way out
        if (raised) throw std::move(*raised);
        return code;
      },
      py::arg("name"), py::arg("main"), kRunProgramDoc);
}
