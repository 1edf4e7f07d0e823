#pragma once
// The console: where the system's line output goes.
//
// Every console record is written to standard output exactly as built (its
// leading blank included), one line each, unless another destination takes
// its place. A window layer may add a listener that also shows the records in
// its console window.

#include <cstddef>
#include <functional>
#include <limits>
#include <string_view>

#include "textfmt/list_record.h"

namespace rtl {

// Console record width: unlimited, so that each output statement of the
// system gives one line, " Output in " and a file name of any length included.
inline constexpr std::size_t kConsoleRecordWidth = std::numeric_limits<std::size_t>::max();

// Writes one console record (a whole line, without line ending).
void console_write_line(std::string_view record);

// The list-directed writer on the console.
textfmt::ListWriter& console();

// Replaces standard output as the destination of console records (a Python
// module writes them to sys.stdout instead, so that they are not written
// twice); it receives each record without line ending and writes it as one
// line. An empty function restores standard output.
void set_console_output(std::function<void(std::string_view)> output);

// Installs a listener that receives every console record after it has gone
// to standard output; an empty function removes it.
void set_console_listener(std::function<void(std::string_view)> listener);

// Output that another language's run-time buffers on its own (a Fortran
// program's units): a module for that language installs the function that
// writes it out, for standard output alone or for every file of the program.
// Standard output's goes out before each console record goes there, so that
// the program's own lines and the records keep the order in which they were
// written; everything goes out before the program ends by any path, so that
// nothing is lost. An empty function removes it.
enum class BufferedOutput { kStandardOutput, kEverything };
void set_output_flusher(std::function<void(BufferedOutput)> flusher);

// Writes out what the installed flusher holds for standard output.
void flush_foreign_standard_output();

// Writes out every buffered output before the program ends: the installed
// flusher's, then C stdio's.
void flush_program_output();

// Ends the process at once with `code`, every output written out first
// (flush_program_output): no atexit function runs and no static object is
// destroyed. For a thread that can neither return nor be unwound: a worker
// stopped where it is, or one that runs no code able to catch an exception.
[[noreturn]] void end_process(int code);

}  // namespace rtl
