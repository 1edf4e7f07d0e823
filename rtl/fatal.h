#pragma once
// The fatal error report: ends the program after telling why.
//
// The message goes to standard error and to the reporter a window layer may
// install (a message box); temporary files still being written are removed,
// so no earlier file is damaged; then the program exits with kFatalExitCode.

#include <cstdint>
#include <functional>
#include <string_view>

namespace rtl {

inline constexpr int kFatalExitCode = 1;

[[noreturn]] void fatal_error(std::string_view message);

// A name handed on to the system as a C string (a file name, a device type)
// would end at its first NUL byte and name something else: such a text ends
// the program with "<what> holds a NUL byte: <text>", each NUL shown as \0,
// before anything is written. Texts without a NUL pass.
void refuse_nul_bytes(std::string_view text, std::string_view what);

// The report of exhausted storage: "Out of memory".
[[noreturn]] void out_of_memory();

// In the catch (...) block of a routine that does the module's work: storage
// that could not be obtained (std::bad_alloc, or a length no vector can have)
// ends the program through out_of_memory() instead of an abort, so that files
// being written are removed; any other exception goes on its way.
//   void dat_map(...) try { ... } catch (...) { rtl::fatal_if_out_of_memory(); }
[[noreturn]] void fatal_if_out_of_memory();

// In the catch (...) block around a program's main routine, which no
// exception may leave: exhausted storage as above, any other exception as
// a fatal error with its what() text ("Unknown exception" for one that is no
// std::exception).
[[noreturn]] void fatal_from_exception();

// Called with the message before the program ends; an empty function removes it.
// The reporter may block (a message box waiting for the user). Returns the
// reporter it replaces, for a caller that puts it back afterwards.
std::function<void(std::string_view)> set_fatal_reporter(
    std::function<void(std::string_view)> reporter);

// How the program ends after the report; std::exit by default. A window layer
// installs one that stops its event loop first. The function must not return;
// it may throw instead (a Python module turns the report into an exception):
// the temporary files are removed by then, and the routines unwinding from
// it leave no device open, so the next call starts afresh. Returns the
// function it replaces.
std::function<void(int code)> set_fatal_exit(std::function<void(int code)> exit_fn);

// Whether a fatal error reported on the calling thread writes its message to
// standard error (it does unless turned off). A caller that hands the message
// to its own caller instead of ending the program (a status argument, as
// Fortran's iostat=) turns it off around its call; other threads still print.
// Returns the setting it replaces.
bool set_fatal_printing_on_this_thread(bool print);

// Stopping long work on request. The long loops of the routines call
// check_interruption() now and then (every few thousand values, once per row
// of cells), and the PostScript map before its device writes the file and
// before the file replaces an earlier one. By default nothing happens: a
// program's signals act as they always have. A caller that wants long work
// to stop early (a Python module on Ctrl+C) installs a check that throws
// when the work is to stop; the routines unwind from it as from a fatal
// error report that throws (no temporary file stays, no device stays open),
// and the exception reaches the caller.
void check_interruption();

// In a loop over values: check_interruption() at the values 0, 4096, 8192 ...
inline void check_interruption_at_value(std::int64_t k) {
  if (k % 4096 == 0) check_interruption();
}

// Installs the check; an empty function removes it.
void set_interruption_check(std::function<void()> check);

}  // namespace rtl
