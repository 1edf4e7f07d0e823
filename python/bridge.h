#pragma once
// The runtime bridge between the routines and Python. Around the module's
// calls:
//   - console records go to sys.stdout instead of standard output;
//   - the fatal error report raises mapplot.FatalError instead of ending the
//     process: the temporary files are removed by then and the routines
//     unwind with no device open, so the next call starts afresh; storage
//     that cannot be obtained anywhere in a call is that report too;
//   - the calls run one at a time, as the module requires, whatever Python
//     code runs inside them (a lock of the module's own);
//   - an exception raised by Python code run inside a call (sys.stdout, a
//     signal handler: Ctrl+C) stops the call at its next check of
//     rtl::check_interruption(), cleanly, and is raised when it returns.
// And the windowing runtime (gfxwin/runtime.h) for a Python main routine.

#include <pybind11/pybind11.h>

#include <functional>
#include <string>

namespace pymapplot {

namespace py = pybind11;

// Adds the exception mapplot.FatalError to the module: what a fatal error
// report raises.
void add_fatal_error(py::module_& m);

// Puts the module's console output, interruption check, fatal reporter and
// fatal exit in place (rtl/console.h, rtl/fatal.h). A fatal error reported on
// a thread that runs no Python (the window system's) ends the process, as the
// report would without the module: nothing there could catch an exception.
void install_hooks();

// Runs `call` as one call of the module, holding the module's call lock.
// Storage that cannot be obtained, wherever in the call, is the fatal error
// "Out of memory" as in the routines themselves; the call's own exception is
// raised with a kept one (an exception of Python code run inside the call)
// as its context, and a call that ends normally or was stopped raises the
// kept exception. Python code run inside a call that calls the module again
// on the same thread gets RuntimeError.
py::object module_call(const std::function<py::object()>& call);

// Raises the OSError subclass Python picks for `error` (FileNotFoundError,
// PermissionError ...), with errno, strerror and filename (`file`) set.
[[noreturn]] void raise_os_error(int error, const std::string& file);

// To be called by every call that paints a screen map: painting outside
// run_program keeps run_program from starting later in the process.
void note_screen_drawing();

// mapplot.run_program: main() under the windowing runtime (its docstring).
// Raises TypeError or ValueError before anything starts when main cannot be
// called, run_program already runs, it is not called from the main thread or
// a screen map was painted outside it.
int run_program(const std::string& name, const py::object& main);

}  // namespace pymapplot
