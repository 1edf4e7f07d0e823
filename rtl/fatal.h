#pragma once
// Fatal errors: the one error the routines raise, and the report that ends
// the program after telling why.
//
// A fatal error goes where the calling thread's hooks say (rtl/hooks.h):
//   - by default the program's report: the message goes to standard error
//     and to the fatal reporter a window layer may install (a message box);
//     temporary files still being written are removed, so no earlier file is
//     damaged; then the program ends through the fatal exit hook, or exits
//     with kFatalExitCode;
//   - where the caller asked for errors back (Hooks::fatal_errors is
//     kToCaller: a Python module, a Fortran call with stat=), FatalError is
//     thrown and nothing is printed. The routines unwind from it with no
//     device open, and each call removes its own temporary file on the way
//     out, so the calls of other threads go on untouched.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "rtl/hooks.h"

namespace rtl {

inline constexpr int kFatalExitCode = 1;

// What a fatal error raises for a caller that takes it back.
class FatalError : public std::runtime_error {
 public:
  explicit FatalError(const std::string& message, int error = 0, std::string file = {})
      : std::runtime_error(message), error_(error), file_(std::move(file)) {}
  // The errno of the failed operation on a file (ENOMEM for exhausted
  // storage), 0 for other errors.
  int error() const { return error_; }
  // The file it concerns, as the caller named it; empty for other errors.
  const std::string& file() const { return file_; }

 private:
  int error_;
  std::string file_;
};

// Reports `e` as the calling thread's hooks say (above).
[[noreturn]] void raise_fatal(const FatalError& e);

// raise_fatal of a FatalError with `message`.
[[noreturn]] void fatal_error(std::string_view message);

// The fatal error "File <file>: <step>: <reason of error>", with that errno and file.
[[noreturn]] void file_error(const std::string& file, std::string_view step, int error);

// The program's report of `message` and its end, whatever the thread's hooks say.
[[noreturn]] void end_program(std::string_view message);

// A name handed on to the system as a C string (a file name, a device type)
// would end at its first NUL byte and name something else: such a text ends
// the program with "<what> holds a NUL byte: <text>", each NUL shown as \0,
// before anything is written. Texts without a NUL pass.
void refuse_nul_bytes(std::string_view text, std::string_view what);

// The report of exhausted storage: "Out of memory".
[[noreturn]] void out_of_memory();

// In the catch (...) block of a routine that does the module's work: storage
// that could not be obtained (std::bad_alloc, or a length no vector can have)
// is the fatal error of out_of_memory() instead of an abort, so that files
// being written are removed; any other exception (a FatalError for the
// caller among them) goes on its way.
//   void dat_map(...) try { ... } catch (...) { rtl::fatal_if_out_of_memory(); }
[[noreturn]] void fatal_if_out_of_memory();

// In the catch (...) block around a program's main routine, which no
// exception may leave: the program's report (end_program) of a FatalError's
// message, of "Out of memory" for exhausted storage, of any other
// exception's what() text ("Unknown exception" for one that is no
// std::exception).
[[noreturn]] void fatal_from_exception();

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


}  // namespace rtl
