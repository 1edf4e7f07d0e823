#pragma once
// The console: where the system's line output goes.
//
// Every console record is written to standard output as built (its leading
// blank included), its control bytes shown escaped, one line each, unless another destination takes
// its place. A window layer may add a listener that also shows the records in
// its console window.

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

#include "rtl/hooks.h"
#include "textfmt/list_record.h"

namespace rtl {

// Console record width: unlimited, so that each output statement of the
// system gives one line, " Output in " and a file name of any length included.
inline constexpr std::size_t kConsoleRecordWidth = std::numeric_limits<std::size_t>::max();

// Writes one console record (a whole line, without line ending). Control
// bytes in it (C0 controls and DEL; bytes from 0x80 on are UTF-8 and stay)
// are shown escaped (console_escaped), so that each record is one line
// wherever it goes: standard output, the console output hook, a listener.
void console_write_line(std::string_view record);

// `record` with each control byte shown as \0, \n, \r, \t or \xNN
// (lower-case hex: \x1b, \x7f); a backslash stays as it is.
std::string console_escaped(std::string_view record);

// The most bytes of a caller's text that a warning quotes.
inline constexpr std::size_t kQuotedTextLimit = 200;

// A caller's text as a warning quotes it: whole when it has at most `limit`
// bytes, otherwise its first `limit` bytes or fewer, cut at the start of a
// UTF-8 character, followed by "…" (U+2026).
std::string quoted_excerpt(std::string_view text, std::size_t limit = kQuotedTextLimit);

// The list-directed writer on the console; each thread has its own, so a
// record being built is never another thread's.
textfmt::ListWriter& console();

// Where records go, who else sees them and what another run-time buffers
// are hooks (rtl/hooks.h):
//   - Hooks::console_output takes the records in place of standard output
//     (a Python module collects a call's records and hands them on itself);
//   - Hooks::console_listener receives every record after it went out;
//   - Hooks::output_flusher writes out the output that another language's
//     run-time buffers on its own (a Fortran program's units), for standard
//     output alone or for every file of the program. Standard output's goes
//     out before each console record goes there, so that the program's own
//     lines and the records keep the order in which they were written;
//     everything goes out before the program ends by any path, so that
//     nothing is lost.
// Records of calls made at once on several threads are whole lines, never
// mixed within a line.

// Writes out what the installed flusher holds for standard output.
void flush_foreign_standard_output();

// Writes out every buffered output before the program ends: the installed
// flusher's, then C stdio's.
void flush_program_output();

// Ends the process at once with `code`, the ending work done
// (rtl::do_ending_work) and every output written out first
// (flush_program_output): no atexit function runs and no static object is
// destroyed. For a thread that can neither return nor be unwound: a worker
// stopped where it is, or one that runs no code able to catch an exception.
[[noreturn]] void end_process(int code);

}  // namespace rtl
