#include "python/bridge.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "gfxwin/runtime.h"
#include "python/docstrings.h"
#include "python/values.h"
#include "rtl/fatal.h"
#include "rtl/hooks.h"

namespace pymapplot {
namespace {

// mapplot.FatalError and mapplot.MapWarning, set when the module is made;
// kept to the end of the process.
py::handle fatal_error_type;
py::handle map_warning_type;

// The fatal errors about files: for each OSError subclass (OSError itself
// among them), the class that is mapplot.FatalError and it, made when first
// raised. Never destroyed: a thread may still raise one at exit.
py::dict& file_error_types() {
  static py::dict* types = new py::dict;
  return *types;
}

// The class of a fatal error about a file with errno `error`.
py::object file_error_type(int error) {
  const py::object probe = py::handle(PyExc_OSError)(error, "");
  const py::handle base(reinterpret_cast<PyObject*>(Py_TYPE(probe.ptr())));
  py::dict& types = file_error_types();
  if (types.contains(base)) return types[base];
  py::dict body;
  body["__module__"] = "mapplot";
  body["__doc__"] = kFileFatalErrorDoc;
  // str() is the module's message, held as the one argument, not OSError's
  // "[Errno 2] ...": errno, strerror and filename are there as attributes.
  body["__str__"] = py::handle(PyExc_BaseException).attr("__str__");
  py::object made = py::handle(reinterpret_cast<PyObject*>(&PyType_Type))(
      base.attr("__name__"), py::make_tuple(fatal_error_type, base), body);
  types[base] = made;
  return made;
}

// The Python exception of a fatal error, set and fetched.
py::error_already_set fatal_exception(const rtl::FatalError& e) {
  const py::object message = text_object(e.what());
  if (e.error() != 0 && !e.file().empty()) {
    const py::object type = file_error_type(e.error());
    const py::object raised = type(e.error(), std::strerror(e.error()), text_object(e.file()));
    raised.attr("args") = py::make_tuple(message);
    PyErr_SetObject(type.ptr(), raised.ptr());
  } else {
    PyErr_SetObject(fatal_error_type.ptr(), message.ptr());
  }
  return py::error_already_set();
}

// The screen map keeps its state and the active window for the whole process
// (mapscreen::screen_map_state, gfxwin's active unit), so its paintings take
// turns; always awaited without the interpreter lock, which the painting
// under way may need for a moment. Any thread may release it: run_program
// holds it while the runtime starts, and main's worker hands it on.
class ScreenLock {
 public:
  void acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    free_.wait(lock, [this] { return !busy_; });
    busy_ = true;
  }
  void release() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      busy_ = false;
    }
    free_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable free_;
  bool busy_ = false;
};

ScreenLock& screen_lock() {
  static ScreenLock* lock = new ScreenLock;  // never destroyed: threads may wait at exit
  return *lock;
}

// Drawing texts outside run_program makes the font support create a Qt
// application of its own, which stays to the end of the process; run_program
// cannot create its application after that. Read and set under the screen lock.
bool drawn_outside_runtime = false;

// The works under way on this thread: a call's, and those of calls made by
// Python code run inside it.
thread_local int postscript_under_way = 0;
thread_local int screen_under_way = 0;

int& under_way(Work work) {
  thread_local int files_under_way = 0;
  if (work == Work::kPostScript) return postscript_under_way;
  if (work == Work::kScreen) return screen_under_way;
  return files_under_way;
}

// A call that would take over what a call under way on this thread holds.
void refuse_nested(Work work) {
  if (work == Work::kPostScript && postscript_under_way > 0)
    raise(PyExc_RuntimeError,
          "ps_map cannot be called while a PostScript map of this thread draws (Python code "
          "run inside it, a signal handler): giza's device is that map's");
  if (work == Work::kScreen && screen_under_way > 0)
    raise(PyExc_RuntimeError,
          "scr_map and render cannot be called while a screen map of this thread paints "
          "(Python code run inside it, a signal handler): the windows are that map's");
}

// Thrown by the interruption check: the call unwinds, and the exception kept
// for it is raised.
struct CallStopped {};

// The interpreter lock taken for a moment by a thread that released it.
class GilTaken {
 public:
  GilTaken() : state_(PyGILState_Ensure()) {}
  ~GilTaken() { PyGILState_Release(state_); }
  GilTaken(const GilTaken&) = delete;
  GilTaken& operator=(const GilTaken&) = delete;

 private:
  PyGILState_STATE state_;
};

bool on_python_main_thread() {
  const py::object main = py::module_::import("threading").attr("main_thread")();
  return main.attr("ident").cast<unsigned long>() == PyThread_get_thread_ident();
}

// mapplot.quiet on this thread: its calls' console records other than
// warnings (" Output in ...") are dropped instead of going to sys.stdout.
thread_local bool records_quiet = false;

// What mapplot.quiet returns: the thread's setting as it was before, back
// when it is left as a context manager.
class Quiet {
 public:
  explicit Quiet(bool on) : before_(records_quiet) { records_quiet = on; }
  void restore() const { records_quiet = before_; }

 private:
  bool before_;
};

// A console record as Python sees it: without its leading blanks.
std::string_view record_text(std::string_view record) {
  const std::size_t first = record.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view() : record.substr(first);
}

// The warning lines of the routines, which leave a usable result: the maps'
// " Warning: ..." (sizes, colour tables, ranges) and " Array is flat!".
bool is_warning(std::string_view text) {
  return text.starts_with("Warning:") || text == "Array is flat!";
}

// A record on the process's standard output, one whole line.
void write_to_standard_output(std::string_view record) {
  flockfile(stdout);
  fwrite_unlocked(record.data(), 1, record.size(), stdout);
  fputc_unlocked('\n', stdout);
  fflush_unlocked(stdout);
  funlockfile(stdout);
}

// A record on sys.stdout, flushed (one line at a time, as on standard
// output); false without a usable one (missing, None without a console, or closed).
bool write_to_sys_stdout(std::string_view record) {
  PyObject* borrowed = PySys_GetObject("stdout");
  if (borrowed == nullptr || borrowed == Py_None) return false;
  const py::object out = py::reinterpret_borrow<py::object>(borrowed);
  if (py::hasattr(out, "closed") && py::bool_(out.attr("closed"))) return false;
  out.attr("write")(text_object(record) + py::str("\n"));
  out.attr("flush")();
  return true;
}

// A call under way on this thread: its console records, collected while
// its work runs, and the exception that Python code run inside it raised,
// kept to be raised when it returns. A later one is raised with the earlier
// as its context, as Python chains exceptions.
class ModuleCall {
 public:
  explicit ModuleCall(Work work)
      : work_(work),
        outer_(innermost()),
        on_main_thread_(on_python_main_thread()),
        last_check_(Clock::now()) {
    innermost() = this;
  }
  ~ModuleCall() { innermost() = outer_; }
  ModuleCall(const ModuleCall&) = delete;
  ModuleCall& operator=(const ModuleCall&) = delete;

  // The innermost call under way on this thread, or nullptr.
  static ModuleCall*& innermost() {
    thread_local ModuleCall* call = nullptr;
    return call;
  }

  Work work() const { return work_; }

  // This call's hooks on its thread: records collected (no interpreter lock
  // needed), signal handlers run by the interruption check, fatal errors back.
  rtl::Hooks hooks() {
    return {.console_output = [this](std::string_view record) { records_.emplace_back(record); },
            .interruption_check = [this] { check(); },
            .fatal_errors = rtl::FatalErrors::kToCaller};
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

  // Hands on the records in order, under the interpreter lock: warnings as
  // MapWarning (when `warn`: the call returns a result), the others to
  // sys.stdout. Once something raised (sys.stdout, a warnings filter of
  // "error"), it is kept, no further warning is given, and after sys.stdout
  // raised the other records go to standard output, so that none is lost.
  void hand_on_records(bool warn) {
    bool stdout_raised = false;
    for (const std::string& record : records_) {
      const std::string_view text = record_text(record);
      if (is_warning(text)) {
        if (!warn || kept_) continue;
        try {
          py::module_::import("warnings").attr("warn")(text_object(text), map_warning_type, 1);
        } catch (py::error_already_set& e) {
          keep(std::move(e));
        }
        continue;
      }
      if (records_quiet) continue;  // mapplot.quiet: warnings only
      if (!stdout_raised) {
        try {
          if (write_to_sys_stdout(record)) continue;
        } catch (py::error_already_set& e) {
          keep(std::move(e));
          stdout_raised = true;
        }
      }
      write_to_standard_output(record);
    }
    records_.clear();
  }

 private:
  using Clock = std::chrono::steady_clock;
  // Ctrl+C stops long work within a fraction of a second, and the work
  // takes the interpreter lock seldom enough not to hold up other threads.
  static constexpr Clock::duration kCheckInterval = std::chrono::milliseconds(20);

  void keep(py::error_already_set&& e) {
    chain_to_kept(e);
    kept_ = std::move(e);
  }

  // The interruption check of the routines (rtl/fatal.h): on Python's main
  // thread, where alone signal handlers run, they run now and then; the call
  // stops when one has raised (Ctrl+C: KeyboardInterrupt).
  void check() {
    if (!on_main_thread_) return;
    if (!kept_) {
      const Clock::time_point now = Clock::now();
      if (now - last_check_ < kCheckInterval) return;
      last_check_ = now;
      const GilTaken gil;
      if (PyErr_CheckSignals() == 0) return;
      keep(py::error_already_set());
    }
    throw CallStopped{};
  }

  Work work_;
  ModuleCall* outer_;
  bool on_main_thread_;
  Clock::time_point last_check_;
  std::vector<std::string> records_;
  std::optional<py::error_already_set> kept_;
};

}  // namespace

void add_exceptions(py::module_& m) {
  fatal_error_type = PyErr_NewExceptionWithDoc("mapplot.FatalError", kFatalErrorDoc,
                                               PyExc_Exception, nullptr);
  if (!fatal_error_type) throw py::error_already_set();
  m.attr("FatalError") = fatal_error_type;
  map_warning_type = PyErr_NewExceptionWithDoc("mapplot.MapWarning", kMapWarningDoc,
                                               PyExc_UserWarning, nullptr);
  if (!map_warning_type) throw py::error_already_set();
  m.attr("MapWarning") = map_warning_type;
}

void add_quiet(py::module_& m, const std::string& doc) {
  py::class_<Quiet>(m, "_Quiet", kQuietTypeDoc)
      .def("__enter__", [](const Quiet&) {})
      .def("__exit__", [](const Quiet& q, const py::args&) {
        q.restore();
        return false;
      });
  m.def("quiet", [](bool on) { return Quiet(on); }, py::arg("on").noconvert() = true,
        doc.c_str());
}

void raise_os_error(int error, const std::string& file) {
  const py::object raised =
      py::handle(PyExc_OSError)(error, std::strerror(error), text_object(file));
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(raised.ptr())), raised.ptr());
  throw py::error_already_set();
}

py::object module_call(Work work, const std::function<py::object()>& call) {
  refuse_nested(work);
  ModuleCall state(work);
  py::object result;
  std::optional<py::error_already_set> raised;
  {
    const rtl::ScopedHooks hooks(state.hooks());
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
      raised = std::move(e);
    } catch (const rtl::FatalError& e) {
      raised = fatal_exception(e);
    } catch (const py::builtin_exception& e) {
      e.set_error();
      raised.emplace();
    } catch (const std::exception& e) {
      PyErr_SetString(PyExc_RuntimeError, e.what());
      raised.emplace();
    }
  }
  state.hand_on_records(!raised && !state.has_kept());
  if (raised) {
    state.chain_to_kept(*raised);
    throw std::move(*raised);
  }
  state.raise_kept();
  return result;
}

void without_gil(const std::function<void()>& routine) {
  const ModuleCall* call = ModuleCall::innermost();
  const Work work = call != nullptr ? call->work() : Work::kFiles;
  struct Counted {
    int& count;
    explicit Counted(int& c) : count(c) { ++count; }
    ~Counted() { --count; }
  } counted(under_way(work));
  const py::gil_scoped_release released;
  if (work != Work::kScreen) {
    routine();
    return;
  }
  screen_lock().acquire();
  struct Release {
    ~Release() { screen_lock().release(); }
  } release;
  if (!gfxwin::runtime_running()) drawn_outside_runtime = true;
  routine();
}

int run_program(const std::string& name, const py::object& main) {
  if (!PyCallable_Check(main.ptr())) throw py::type_error("main must be callable");
  if (gfxwin::runtime_running()) throw py::value_error("run_program is already running");
  py::module_ threading = py::module_::import("threading");
  if (!threading.attr("current_thread")().is(threading.attr("main_thread")()))
    throw py::value_error("run_program must be called from the main thread");
  // No screen map paints while the runtime starts: one painted meanwhile
  // outside it would make the application it creates. The worker hands the
  // lock on to the paintings once the runtime runs, and they go to its windows.
  {
    const py::gil_scoped_release waiting;
    screen_lock().acquire();
  }
  struct Held {
    bool held = true;
    void release() {
      if (held) screen_lock().release();
      held = false;
    }
    ~Held() { release(); }
  } held;
  if (drawn_outside_runtime)
    throw py::value_error(
        "run_program cannot start after a screen map was painted outside it in this "
        "process (render, scr_map)");

  std::string program = name;
  char* argv[] = {program.data(), nullptr};
  std::optional<py::error_already_set> raised;
  int code = 0;
  {
    const py::gil_scoped_release window_system;
    code = gfxwin::run_program(1, argv, name, [&]() -> int {
      held.release();
      // main's calls take their fatal errors back through their own hooks;
      // the runtime's (its console window, its report) stay for the rest.
      const py::gil_scoped_acquire gil;
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
  if (raised) throw std::move(*raised);
  return code;
}

}  // namespace pymapplot
