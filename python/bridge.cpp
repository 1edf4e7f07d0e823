#include "python/bridge.h"

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <utility>

#include "gfxwin/runtime.h"
#include "python/values.h"
#include "rtl/console.h"
#include "rtl/fatal.h"

namespace pymapplot {
namespace {

// mapplot.FatalError, set when the module is made.
py::handle fatal_error_type;

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

// Drawing texts outside run_program makes the font support create a Qt
// application of its own, which stays to the end of the process; run_program
// cannot create its application after that.
bool drawn_outside_runtime = false;

}  // namespace

void add_fatal_error(py::module_& m) {
  fatal_error_type = py::register_exception<rtl::FatalError>(m, "FatalError");
}

void raise_os_error(int error, const std::string& file) {
  const py::object raised =
      py::handle(PyExc_OSError)(error, std::strerror(error), text_object(file));
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(raised.ptr())), raised.ptr());
  throw py::error_already_set();
}

void install_hooks() {
  rtl::change_hooks([](rtl::Hooks& h) {
    h.console_output = write_console_record;
    h.interruption_check = stop_if_python_raised;
  });
}

py::object module_call(const std::function<py::object()>& call) {
  ModuleCall guard;
  const rtl::ScopedHooks to_caller({.fatal_errors = rtl::FatalErrors::kToCaller});
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
  } catch (const rtl::FatalError& e) {
    // The report on standard error, as the program's report makes it.
    std::fprintf(stderr, "%s\n", e.what());
    std::fflush(stderr);
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

void note_screen_drawing() {
  if (!gfxwin::runtime_running()) drawn_outside_runtime = true;
}

int run_program(const std::string& name, const py::object& main) {
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
}

}  // namespace pymapplot
