#include "rtl/console.h"
#include "rtl/pending_files.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

namespace rtl {

namespace {

bool is_control(unsigned char c) { return c < 0x20 || c == 0x7f; }

}  // namespace

std::string console_escaped(std::string_view record) {
  std::string line;
  line.reserve(record.size() + 8);
  for (const char c : record) {
    const auto u = static_cast<unsigned char>(c);
    if (!is_control(u)) {
      line += c;
      continue;
    }
    switch (u) {
      case '\0': line += "\\0"; break;
      case '\n': line += "\\n"; break;
      case '\r': line += "\\r"; break;
      case '\t': line += "\\t"; break;
      default: {
        static constexpr char kHex[] = "0123456789abcdef";
        line += "\\x";
        line += kHex[u >> 4];
        line += kHex[u & 0xf];
      }
    }
  }
  return line;
}

std::string quoted_excerpt(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return std::string(text);
  std::size_t end = limit;
  // Back to the start of the UTF-8 character the cut falls in (at most three
  // continuation bytes: other bytes are no character to keep whole).
  for (int back = 0; back < 3 && end > 0 && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80; ++back)
    --end;
  std::string cut(text.substr(0, end));
  cut += "\xe2\x80\xa6";  // U+2026, the ellipsis
  return cut;
}

void console_write_line(std::string_view given) {
  // Control bytes shown escaped: a record stays one line on any console.
  std::string escaped;
  std::string_view record = given;
  for (const char c : given) {
    if (is_control(static_cast<unsigned char>(c))) {
      escaped = console_escaped(given);
      record = escaped;
      break;
    }
  }
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
  do_ending_work();
  flush_program_output();
  std::_Exit(code);
}

}  // namespace rtl
