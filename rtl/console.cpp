#include "rtl/console.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

namespace rtl {

void console_write_line(std::string_view record) {
  if (const auto output = current_hook(&Hooks::console_output)) {
    output(record);
  } else {
    flush_foreign_standard_output();
    // One lock of the stream for the whole line: another thread's record
    // comes before it or after it, never inside it.
    std::FILE* out = stdout;
    flockfile(out);
    fwrite_unlocked(record.data(), 1, record.size(), out);
    fputc_unlocked('\n', out);
    fflush_unlocked(out);
    funlockfile(out);
  }
  if (const auto listener = current_hook(&Hooks::console_listener)) listener(record);
}

textfmt::ListWriter& console() {
  thread_local textfmt::ListWriter writer(kConsoleRecordWidth, console_write_line);
  return writer;
}

void flush_foreign_standard_output() {
  if (const auto flusher = current_hook(&Hooks::output_flusher))
    flusher(BufferedOutput::kStandardOutput);
}

void flush_program_output() {
  if (const auto flusher = current_hook(&Hooks::output_flusher)) flusher(BufferedOutput::kEverything);
  std::fflush(nullptr);
}

void end_process(int code) {
  flush_program_output();
  std::_Exit(code);
}

}  // namespace rtl
