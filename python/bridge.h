#pragma once
// The runtime bridge between the routines and Python. Each call of the module
// is one ModuleCall on the thread that makes it, with hooks of its own for
// that thread (rtl::ScopedHooks) and no lock of the module's around it:
//   - the routine's work runs without the interpreter lock (without_gil), so
//     the calls of several threads run at once; the arguments are converted
//     before and the results built after, under it;
//   - the routine's console records are collected and handed on when its
//     work is done, in order: warnings that leave a usable result
//     (" Warning: ...", " Array is flat!") as mapplot.MapWarning, the other
//     records (" Output in ...") to sys.stdout, unless mapplot.quiet holds
//     for the thread;
//   - a fatal error raises mapplot.FatalError instead of ending the process
//     (for a file that cannot be created, replaced, written or read, a class
//     that is FatalError and the OSError subclass of its errno), printing
//     nothing: the exception is the report. The temporary files are removed by then and the routines unwind with no
//     device open, so the next call starts afresh; storage that cannot be
//     obtained anywhere in a call is that report too;
//   - on Python's main thread the work lets the signal handlers run now and
//     then (every 20 ms at most): an exception one raises (Ctrl+C:
//     KeyboardInterrupt) stops the call at its next check, cleanly, and is
//     raised when it returns.
// Python code run inside a call's work (a signal handler) may call the module
// again, except what would take over what that work holds: a PostScript map
// inside a PostScript map of the same thread (giza's device), a screen map
// inside a screen map of the same thread (the screen map's windows); those
// raise RuntimeError.
// And the windowing runtime (gfxwin/runtime.h) for a Python main routine.

#include <pybind11/pybind11.h>

#include <functional>
#include <string>

namespace pymapplot {

namespace py = pybind11;

// Adds mapplot.FatalError and mapplot.MapWarning to the module.
void add_exceptions(py::module_& m);

// Adds mapplot.quiet: the console records other than warnings of this
// thread's calls dropped while it holds (its docstring, `doc`).
void add_quiet(py::module_& m, const std::string& doc);

// What a call's work holds while it runs.
enum class Work {
  kFiles,       // dat_map, read_map: nothing but its own file
  kPostScript,  // ps_map: giza's one device, from pgbeg to pgend
  kScreen,      // scr_map, render: the screen map's state and the active window
};

// Runs `call` as one call of the module, doing `work`: `call` runs under the
// interpreter lock and does the routine's own work through without_gil.
// The call's exception is raised with an exception of Python code run
// inside it (a signal handler) or of handing on its records (sys.stdout, a
// warnings filter of "error") as its context; a call that ends normally or
// was stopped raises that exception. A call that raises warns nothing.
py::object module_call(Work work, const std::function<py::object()>& call);

// Inside module_call: runs `routine`, which touches no Python object, without
// the interpreter lock. A screen map's routine holds the screen map's lock:
// the screen map keeps its state and the active window for the whole process.
void without_gil(const std::function<void()>& routine);

// Raises the OSError subclass Python picks for `error` (FileNotFoundError,
// PermissionError ...), with errno, strerror and filename (`file`) set.
[[noreturn]] void raise_os_error(int error, const std::string& file);

// mapplot.run_program: main() under the windowing runtime (its docstring).
// Raises TypeError or ValueError before anything starts when main cannot be
// called, run_program already runs, it is not called from the main thread or
// a screen map was painted outside it.
int run_program(const std::string& name, const py::object& main);

}  // namespace pymapplot
