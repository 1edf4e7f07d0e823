#include "rtl/console.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

namespace rtl {
namespace {

std::function<void(std::string_view)>& listener() {
  static std::function<void(std::string_view)> l;
  return l;
}

std::function<void(std::string_view)>& output() {
  static std::function<void(std::string_view)> o;
  return o;
}

std::function<void(BufferedOutput)>& output_flusher() {
  static std::function<void(BufferedOutput)> f;
  return f;
}

}  // namespace

void console_write_line(std::string_view record) {
  if (output()) {
    output()(record);
  } else {
    flush_foreign_standard_output();
    std::fwrite(record.data(), 1, record.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  if (listener()) listener()(record);
}

textfmt::ListWriter& console() {
  static textfmt::ListWriter writer(kConsoleRecordWidth, console_write_line);
  return writer;
}

void set_console_output(std::function<void(std::string_view)> o) { output() = std::move(o); }

void set_console_listener(std::function<void(std::string_view)> l) { listener() = std::move(l); }

void set_output_flusher(std::function<void(BufferedOutput)> f) { output_flusher() = std::move(f); }

void flush_foreign_standard_output() {
  if (output_flusher()) output_flusher()(BufferedOutput::kStandardOutput);
}

void flush_program_output() {
  if (output_flusher()) output_flusher()(BufferedOutput::kEverything);
  std::fflush(nullptr);
}

void end_process(int code) {
  flush_program_output();
  std::_Exit(code);
}

}  // namespace rtl
