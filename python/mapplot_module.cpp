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
//     unwind with no device open, so the next call starts afresh; storage
//     that cannot be obtained anywhere in a call is that report too;
//   - the calls run one at a time, as the module requires, whatever Python
//     code runs inside them (a lock of the module's own, see CallLock);
//   - an exception raised by Python code run inside a call (sys.stdout, a
//     signal handler: Ctrl+C) stops the call at its next check of
//     rtl::check_interruption(), cleanly, and is raised when it returns.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
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

// mapplot.FatalError, set when the module is made.
py::handle fatal_error_type;

// Raises the Python exception of type `type` with `message`.
[[noreturn]] void raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

// --- One call at a time ----------------------------------------------------------

// The renderings keep what a call prepares in module-wide storage, so the
// module's calls must not overlap. The interpreter lock alone does not keep
// them apart: Python code run inside a call (sys.stdout.write, a signal
// handler) lets other threads run, and their calls would start. So each call
// holds this lock, and a thread whose call must wait for it waits without the
// interpreter lock, which the call under way may need to finish. Python code
// run inside a call that calls the module again on the same thread gets
// RuntimeError: the nested call would overwrite the storage of the call under
// way, and waiting for it would never end.
class CallLock {
 public:
  // Requires the interpreter lock.
  void acquire() {
    const std::thread::id self = std::this_thread::get_id();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (busy_ && owner_ == self)
        raise(PyExc_RuntimeError,
              "mapplot calls cannot be nested: Python code run inside a call of this thread "
              "(sys.stdout, a signal handler) called the module");
      if (!busy_) {
        take(self);
        return;
      }
    }
    py::gil_scoped_release waiting;
    std::unique_lock<std::mutex> lock(mutex_);
    free_.wait(lock, [this] { return !busy_; });
    take(self);
  }

  // Any thread may release the lock: run_program hands it over to its worker.
  void release() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      busy_ = false;
      owner_ = {};
    }
    free_.notify_one();
  }

 private:
  void take(std::thread::id owner) {
    busy_ = true;
    owner_ = owner;
  }

  std::mutex mutex_;  // never held while the interpreter lock is awaited
  std::condition_variable free_;
  bool busy_ = false;
  std::thread::id owner_;
};

CallLock& call_lock() {
  static CallLock* lock = new CallLock;  // never destroyed: threads may wait at exit
  return *lock;
}

// Thrown by the interruption check: the call unwinds, and the exception kept
// for it is raised.
struct CallStopped {};

// A call under way on this thread: the exception that Python code run inside
// it raised, kept to be raised when it returns. A later one is raised with
// the earlier as its context, as Python chains exceptions.
class ModuleCall {
 public:
  ModuleCall() {
    call_lock().acquire();
    current() = this;
  }
  ~ModuleCall() {
    current() = nullptr;
    call_lock().release();
  }
  ModuleCall(const ModuleCall&) = delete;
  ModuleCall& operator=(const ModuleCall&) = delete;

  // The call under way on this thread, or nullptr.
  static ModuleCall*& current() {
    thread_local ModuleCall* call = nullptr;
    return call;
  }

  void keep(py::error_already_set&& e) {
    chain_to_kept(e);
    kept_ = std::move(e);
  }
  bool has_kept() const { return kept_.has_value(); }

  // The kept exception, if any, becomes the context of `e`.
  void chain_to_kept(const py::error_already_set& e) const {
    if (kept_ && !e.value().is(kept_->value()))
      PyException_SetContext(e.value().ptr(), kept_->value().inc_ref().ptr());
  }

  void raise_kept() {
    if (!kept_) return;
    py::error_already_set e = std::move(*kept_);
    kept_.reset();
    throw e;
  }

 private:
  std::optional<py::error_already_set> kept_;
};

// Runs `call` as one call of the module (ModuleCall). Storage that cannot be
// obtained, wherever in the call, is the fatal error "Out of memory" as in the
// routines themselves; the call's own exception is raised with a kept one as
// its context, and a call that ends normally or was stopped raises the kept
// exception.
template <class Call>
py::object module_call(Call&& call) {
  ModuleCall guard;
  py::object result;
  try {
    try {
      result = call();
    } catch (py::error_already_set& e) {
      if (e.matches(PyExc_MemoryError)) rtl::out_of_memory();
      throw;
    } catch (...) {
      rtl::fatal_if_out_of_memory();
    }
  } catch (const CallStopped&) {
    // The kept exception is raised below.
  } catch (py::error_already_set& e) {
    guard.chain_to_kept(e);
    throw;
  } catch (const FatalError& e) {
    if (!guard.has_kept()) throw;
    PyErr_SetString(fatal_error_type.ptr(), e.what());
    py::error_already_set raised;
    guard.chain_to_kept(raised);
    throw raised;
  } catch (const py::builtin_exception& e) {
    if (!guard.has_kept()) throw;
    e.set_error();
    py::error_already_set raised;
    guard.chain_to_kept(raised);
    throw raised;
  }
  guard.raise_kept();
  return result;
}

// An exception of Python code run inside a call: kept for the call, or,
// outside any call, reported as Python reports what it cannot raise.
void keep_for_the_call(py::error_already_set&& e) {
  if (ModuleCall* call = ModuleCall::current()) call->keep(std::move(e));
  else e.discard_as_unraisable("writing a mapplot console line");
}

// The interruption check of the routines (rtl/fatal.h): a call stops when a
// Python signal handler has raised (Ctrl+C: KeyboardInterrupt; handlers run
// on the main thread only, as in Python) or when Python code run inside it
// raised before.
void stop_if_python_raised() {
  ModuleCall* call = ModuleCall::current();
  if (call == nullptr) return;
  if (!call->has_kept()) {
    if (PyErr_CheckSignals() == 0) return;
    call->keep(py::error_already_set());
  }
  throw CallStopped{};
}

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

// A console record goes to sys.stdout. Without a usable one (None without a
// console, or closed), or when writing to it raises, the record still goes
// out, to standard output; what it raised is kept for the call.
void write_console_record(std::string_view record) {
  py::gil_scoped_acquire gil;
  try {
    py::object out = py::module_::import("sys").attr("stdout");
    const bool closed = !out.is_none() && py::hasattr(out, "closed") && py::bool_(out.attr("closed"));
    if (!out.is_none() && !closed) {
      out.attr("write")(text_object(record) + py::str("\n"));
      out.attr("flush")();  // one line at a time, as on standard output
      return;
    }
  } catch (py::error_already_set& e) {
    keep_for_the_call(std::move(e));
  }
  std::fwrite(record.data(), 1, record.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void install_hooks() {
  rtl::set_console_output(write_console_record);
  rtl::set_interruption_check(stop_if_python_raised);
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

// --- Arguments, texts and options ----------------------------------------------

std::string type_name(const py::handle& value) {
  return py::str(py::type::of(value).attr("__name__")).cast<std::string>();
}

// The arguments of a rendering call: x, y and z by position or by name, then
// the options by name only. A mistake raises a TypeError that names the
// argument and what the call takes; pybind11's own message would print every
// array in full.
class MapCall {
 public:
  MapCall(std::string function, std::vector<std::string> options, const py::args& args,
          const py::kwargs& kwargs)
      : function_(std::move(function)), options_(std::move(options)) {
    if (args.size() > 3)
      throw py::type_error(function_ + "() takes 3 positional arguments (x, y, z) but " +
                           std::to_string(args.size()) + " were given; its options are keywords: " +
                           option_list());
    for (std::size_t k = 0; k < args.size(); ++k) arrays_[k] = args[k];
    for (const auto& [key, value] : kwargs) {
      const std::string name = py::str(key);
      py::object* slot = nullptr;
      for (std::size_t k = 0; k < 3; ++k)
        if (name == kArrayNames[k]) slot = &arrays_[k];
      if (slot == nullptr && !is_option(name))
        throw py::type_error(function_ + "() got an unexpected keyword argument '" + name +
                             "'; its options are " + option_list());
      if (slot == nullptr) continue;
      if (*slot)
        throw py::type_error(function_ + "() got multiple values for argument '" + name + "'");
      *slot = py::reinterpret_borrow<py::object>(value);
    }
    for (std::size_t k = 0; k < 3; ++k)
      if (!arrays_[k])
        throw py::type_error(function_ + "() missing required argument '" + kArrayNames[k] + "'");
    kwargs_ = kwargs;
  }

  // x, y and z, checked.
  MapArrays arrays() const { return map_arrays(arrays_[0], arrays_[1], arrays_[2]); }

  // An option as given; None when left out.
  py::object option(const char* name) const {
    return kwargs_.contains(name) ? py::object(kwargs_[name]) : py::none();
  }

 private:
  static constexpr const char* kArrayNames[3] = {"x", "y", "z"};

  bool is_option(const std::string& name) const {
    return std::find(options_.begin(), options_.end(), name) != options_.end();
  }

  std::string option_list() const {
    std::string list;
    for (const std::string& name : options_) list += (list.empty() ? "" : ", ") + name;
    return list;
  }

  std::string function_;
  std::vector<std::string> options_;
  py::object arrays_[3];
  py::dict kwargs_;
};

// An int option: None is absent; else an int, a bool or a numpy integer
// (anything with __index__) within the range of a C int. Only size counts as
// a number; the other int options are truth values.
std::optional<int> int_option(const py::object& value, const char* name) {
  if (value.is_none()) return std::nullopt;
  if (!PyIndex_Check(value.ptr()))
    throw py::type_error(std::string(name) + " takes " +
                         (std::string_view(name) == "size"
                              ? "an int or None"
                              : "an int or a bool (its lowest bit counts) or None") +
                         ", not " + type_name(value));
  const py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
  if (!index) throw py::error_already_set();
  int overflow = 0;
  const long v = PyLong_AsLongAndOverflow(index.ptr(), &overflow);
  if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (overflow != 0 || v < INT_MIN || v > INT_MAX)
    raise(PyExc_OverflowError, std::string(name) + " is out of the range of a C int: " +
                                   py::repr(index).cast<std::string>());
  return static_cast<int>(v);
}

// A text argument: None is absent; str (encoded as UTF-8, lone surrogates
// back to the bytes they stand for), bytes, and for file names os.PathLike.
std::optional<std::string> text_argument(const py::object& value, const char* name,
                                         bool path = false) {
  if (value.is_none()) return std::nullopt;
  py::object text = value;
  if (path) text = py::module_::import("os").attr("fspath")(value);
  if (py::isinstance<py::bytes>(text)) return text.cast<std::string>();
  if (!py::isinstance<py::str>(text))
    throw py::type_error(std::string(name) + " must be a str or None, not " + type_name(value));
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

Texts texts(const MapCall& call) {
  return {text_argument(call.option("xlabel"), "xlabel"),
          text_argument(call.option("ylabel"), "ylabel"),
          text_argument(call.option("title"), "title"),
          text_argument(call.option("file"), "file", true),
          text_argument(call.option("device"), "device")};
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
dtypes raise TypeError, wrong dimensions or sizes ValueError, options of the
wrong type and unknown keywords TypeError, before anything is done. The
module's fatal errors (log10 of zero or a negative value, a file that cannot
be written, storage that cannot be obtained: "Out of memory") raise
FatalError with the module's message; no file on disk is changed by them and
the next call works as usual.

Calls run one at a time, from any number of threads. Python code run inside
a call (a sys.stdout of your own, a signal handler) cannot call the module:
that raises RuntimeError. An exception it raises stops the call at its next
check and is raised when the call returns; so Ctrl+C stops a long call with
KeyboardInterrupt, no file on disk changed (a single drawing call of giza is
waited for).
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
  fatal_error_type = py::register_exception<FatalError>(m, "FatalError");
  install_hooks();

  m.def(
      "scr_map",
      [](const py::args& args, const py::kwargs& kwargs) {
        const MapCall call("scr_map",
                           {"log", "xlabel", "ylabel", "title", "size", "own_window",
                            "continuation"},
                           args, kwargs);
        return module_call([&] {
          const MapArrays arrays = call.arrays();
          const Texts t = texts(call);
          const mapscreen::ScreenMapOptions o{
              int_option(call.option("log"), "log"),  view_of(t.xlabel), view_of(t.ylabel),
              view_of(t.title), int_option(call.option("size"), "size"),
              int_option(call.option("own_window"), "own_window"),
              int_option(call.option("continuation"), "continuation")};
          note_screen_drawing();
          with_views(arrays, [&](auto vx, auto vy, auto vz) { scr_form(vx, vy, vz, o); });
          return py::none();
        });
      },
      kScrMapDoc);

  m.def(
      "render",
      [](const py::args& args, const py::kwargs& kwargs) {
        const MapCall call("render", {"log", "xlabel", "ylabel", "title", "size"}, args, kwargs);
        return module_call([&]() -> py::object {
          const MapArrays arrays = call.arrays();
          const Texts t = texts(call);
          const mapscreen::ScreenMapOptions o{int_option(call.option("log"), "log"),
                                              view_of(t.xlabel), view_of(t.ylabel),
                                              view_of(t.title),
                                              int_option(call.option("size"), "size"), -1, 0};
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
        });
      },
      kRenderDoc);

  m.def(
      "ps_map",
      [](const py::args& args, const py::kwargs& kwargs) {
        const MapCall call("ps_map", {"log", "xlabel", "ylabel", "title", "file", "device"}, args,
                           kwargs);
        return module_call([&] {
          const MapArrays arrays = call.arrays();
          const Texts t = texts(call);
          const mapps::PsMapOptions o{int_option(call.option("log"), "log"), view_of(t.xlabel),
                                      view_of(t.ylabel), view_of(t.title), view_of(t.file),
                                      view_of(t.device)};
          with_views(arrays, [&](auto vx, auto vy, auto vz) { ps_form(vx, vy, vz, o); });
          return py::none();
        });
      },
      kPsMapDoc);

  m.def(
      "dat_map",
      [](const py::args& args, const py::kwargs& kwargs) {
        const MapCall call("dat_map", {"log", "xlabel", "ylabel", "title", "file"}, args, kwargs);
        return module_call([&] {
          const MapArrays arrays = call.arrays();
          const Texts t = texts(call);
          const mapdata::DatMapOptions o{int_option(call.option("log"), "log"),
                                         view_of(t.xlabel), view_of(t.ylabel), view_of(t.title),
                                         view_of(t.file)};
          with_views(arrays, [&](auto vx, auto vy, auto vz) { dat_form(vx, vy, vz, o); });
          return py::none();
        });
      },
      kDatMapDoc);

  py::object map_data = py::module_::import("collections")
                            .attr("namedtuple")("MapData", py::make_tuple("x", "y", "z", "xlabel",
                                                                          "ylabel", "title"));
  map_data.attr("__module__") = "mapplot";
  m.attr("MapData") = map_data;

  m.def(
      "read_map",
      [map_data](const py::object& path) {
        if (path.is_none()) throw py::type_error("path must be a str or os.PathLike, not None");
        return module_call([&] {
          const std::string name = *text_argument(path, "path", true);
          mapdata::MapReadResult result = mapdata::read_map_file(name);
          if (!result) raise_read_error(path, name, result.error);
          mapdata::MapData& d = *result.map;
          return map_data(to_numpy(std::move(d.x)), to_numpy(std::move(d.y)),
                          to_numpy(std::move(d.z)), text_object(d.xlabel), text_object(d.ylabel),
                          text_object(d.title));
        });
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
        // No call may run while the hooks change hands: the runtime puts its
        // own in place, the worker ours, and ours come back after the runtime
        // removed its own. The worker lends the lock to the calls while main
        // runs.
        call_lock().acquire();
        struct ReleaseAtTheEnd {
          ~ReleaseAtTheEnd() { call_lock().release(); }
        } release_at_the_end;
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
            struct LentWhileMainRuns {
              LentWhileMainRuns() { call_lock().release(); }
              ~LentWhileMainRuns() { call_lock().acquire(); }
            } lent;
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
