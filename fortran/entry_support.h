#pragma once
// What every C entry point of the Fortran module shares: its optional stat
// and errmsg arguments, which work as those of Fortran's own statements.
//
// Without stat, a fatal error ends the program as in the C++ routines. With
// stat, the routine returns instead: stat is kFatalExitCode (1) and errmsg
// holds the report's message, cut or filled with blanks to its length as
// Fortran assigns a text; after success stat is 0 and errmsg is unchanged.
// The call takes its fatal errors back on its own thread (rtl/hooks.h): the
// C++ routines raise rtl::FatalError and unwind to here, each removing its
// own temporary file and leaving no device open, so the earlier file stays
// and the next call starts afresh. A caught error prints nothing, as with
// iostat=: its message is the caller's to show. Fatal errors of other
// threads (calls without stat, the window system's) go their own way.
//
// Linking any entry point also writes out the program's Fortran units at
// every end (entry_support.cpp).

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "rtl/fatal.h"

namespace fortran_binding {

// Runs `work` with the fatal errors reported on this thread caught: true on
// success; false after a fatal error, with its message in `message`.
bool run_catching_fatal_errors(const std::function<void()>& work, std::string& message);

// `text` into a Fortran character variable of `length` characters.
void assign_text(char* chars, std::ptrdiff_t length, std::string_view text);

// Runs `work` for an entry point with the caller's stat (null when absent)
// and errmsg (a length of -1 when absent).
template <class Work>
void run_with_status(int* stat, char* errmsg, std::ptrdiff_t nerrmsg, Work work) noexcept try {
  if (!stat) {
    work();
    return;
  }
  std::string message;
  if (run_catching_fatal_errors(work, message)) {
    *stat = 0;
  } else {
    *stat = rtl::kFatalExitCode;
    assign_text(errmsg, nerrmsg, message);
  }
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

}  // namespace fortran_binding
