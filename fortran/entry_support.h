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
// A routine that may end without a file and without a fatal error (the
// PostScript map refusing its arguments or its device) tells why: with stat,
// stat is kNoFileWritten (2) and errmsg holds that reason; its warning line
// is printed as without stat.
//
// Linking any entry point also writes out the program's Fortran units at
// every end (entry_support.cpp).

#include <signal.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "rtl/fatal.h"

namespace mapps {
struct PsMapResult;
}

namespace fortran_binding {

// stat of a call that wrote no file, its arguments or device refused.
inline constexpr int kNoFileWritten = 2;
static_assert(kNoFileWritten != rtl::kFatalExitCode);

// Why a call wrote no file, or nothing when it did what it was asked.
using NoFileReason = std::optional<std::string>;

// Why a PostScript map wrote no file: its warning's text; nothing when it
// wrote its file or drew on the null device, which writes none
// (files_entry.cpp).
NoFileReason no_file_reason(const mapps::PsMapResult& result);

// Runs `work` with the fatal errors reported on this thread caught: true on
// success; false after a fatal error, with its message in `message`.
bool run_catching_fatal_errors(const std::function<void()>& work, std::string& message);

// `text` into a Fortran character variable of `length` characters.
void assign_text(char* chars, std::ptrdiff_t length, std::string_view text);

// Runs `work` for an entry point with the caller's stat (null when absent)
// and errmsg (a length of -1 when absent). `work` returns nothing, or the
// NoFileReason of a call that may write no file.
template <class Work>
void run_with_status(int* stat, char* errmsg, std::ptrdiff_t nerrmsg, Work work) noexcept try {
  constexpr bool kMayWriteNoFile = std::is_same_v<std::invoke_result_t<Work&>, NoFileReason>;
  if (!stat) {
    work();
    return;
  }
  std::string message;
  NoFileReason no_file;
  const auto run = [&] {
    if constexpr (kMayWriteNoFile) no_file = work();
    else work();
  };
  if (!run_catching_fatal_errors(run, message)) {
    *stat = rtl::kFatalExitCode;
    assign_text(errmsg, nerrmsg, message);
  } else if (no_file) {
    *stat = kNoFileWritten;
    assign_text(errmsg, nerrmsg, *no_file);
  } else {
    *stat = 0;
  }
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

// While alive, SIGXFSZ is held back on the calling thread, so that a write
// beyond the process's file size limit fails with EFBIG and becomes the C++
// routines' fatal error "File <name>: cannot write: File too large" (their
// temporary file removed), instead of a signal that a program's own handler
// takes (GNU Fortran's backtrace handler ends the program and the temporary
// file stays). A SIGXFSZ the call raised on this thread is then taken off
// before the thread's signal mask is restored, so it never arrives. On a
// thread that already held SIGXFSZ back, nothing changes.
class FileSizeSignalHeld {
 public:
  FileSizeSignalHeld() noexcept;
  ~FileSizeSignalHeld();
  FileSizeSignalHeld(const FileSizeSignalHeld&) = delete;
  FileSizeSignalHeld& operator=(const FileSizeSignalHeld&) = delete;

 private:
  sigset_t previous_;
  bool held_ = false;
};

// run_with_status for an entry point that writes a file, SIGXFSZ held back
// (FileSizeSignalHeld) for the whole call.
template <class Work>
void run_writing_file(int* stat, char* errmsg, std::ptrdiff_t nerrmsg, Work work) noexcept {
  const FileSizeSignalHeld held;
  run_with_status(stat, errmsg, nerrmsg, std::move(work));
}

}  // namespace fortran_binding
