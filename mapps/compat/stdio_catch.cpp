// libgiza's stdout and stderr replaced by streams of this module through its
// imports (library_imports.h), for giza 1.3.2, which prints its messages
// itself and cannot be told not to.

#include "mapps/compat/stdio_catch.h"

#include <sys/types.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "mapps/compat/library_imports.h"

namespace mapps {
namespace {

// The catch of the calling thread, while one runs.
thread_local CaughtOutput* caught = nullptr;

// A stream standing in for stdout or stderr in libgiza. Unbuffered, so that
// every write reaches write_through on the thread that makes it, while the
// thread's catch runs. Never closed: libgiza may write through it at any time.
struct StandIn {
  std::string CaughtOutput::*text;
  std::FILE** real;  // the process's stream it stands in for, read at each write
};

StandIn out_stand_in{&CaughtOutput::out, &stdout};
StandIn err_stand_in{&CaughtOutput::err, &stderr};

ssize_t write_through(void* cookie, const char* data, std::size_t size) {
  const StandIn& s = *static_cast<const StandIn*>(cookie);
  if (caught != nullptr) {
    // No exception may cross the C library that called us.
    try {
      (caught->*s.text).append(data, size);
    } catch (...) {
      errno = ENOMEM;
      return -1;
    }
    return static_cast<ssize_t>(size);
  }
  // Outside a catch, into the process's stream as giza would have written
  // it: after what waits in its buffer, buffered as it buffers.
  const std::size_t written = std::fwrite(data, 1, size, *s.real);
  return written == 0 && size != 0 ? -1 : static_cast<ssize_t>(written);
}

std::FILE* open_stand_in(StandIn& s) {
  cookie_io_functions_t io{};
  io.write = write_through;
  std::FILE* stream = fopencookie(&s, "w", io);
  if (stream != nullptr) std::setvbuf(stream, nullptr, _IONBF, 0);
  return stream;
}

// What libgiza reads for stdout and stderr once its imports point here: the
// stand-ins, set before and never changed after.
std::FILE* giza_stdout = nullptr;
std::FILE* giza_stderr = nullptr;

// The calls that print to standard output without naming a stream, printing
// to giza's. The checked forms (_FORTIFY_SOURCE's) take a flag first, asking
// for checks of the format that giza's formats, all literals, need not.
int giza_vprintf(const char* format, va_list args) {
  return std::vfprintf(giza_stdout, format, args);
}

int giza_vprintf_chk(int, const char* format, va_list args) {
  return std::vfprintf(giza_stdout, format, args);
}

int giza_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = std::vfprintf(giza_stdout, format, args);
  va_end(args);
  return written;
}

int giza_printf_chk(int, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = std::vfprintf(giza_stdout, format, args);
  va_end(args);
  return written;
}

int giza_puts(const char* text) {
  flockfile(giza_stdout);
  const int written =
      std::fputs(text, giza_stdout) < 0 || std::fputc('\n', giza_stdout) == EOF ? EOF : 1;
  funlockfile(giza_stdout);
  return written;
}

int giza_putchar(int c) { return std::fputc(c, giza_stdout); }

// Points libgiza's imports at the stand-ins; whether any was found. Without
// both streams nothing changes.
bool redirect_giza() {
  giza_stdout = open_stand_in(out_stand_in);
  giza_stderr = open_stand_in(err_stand_in);
  if (giza_stdout == nullptr || giza_stderr == nullptr) return false;
  const struct {
    const char* symbol;
    const void* replacement;
  } imports[] = {
      {"stdout", &giza_stdout},
      {"stderr", &giza_stderr},
      {"printf", reinterpret_cast<const void*>(&giza_printf)},
      {"__printf_chk", reinterpret_cast<const void*>(&giza_printf_chk)},
      {"vprintf", reinterpret_cast<const void*>(&giza_vprintf)},
      {"__vprintf_chk", reinterpret_cast<const void*>(&giza_vprintf_chk)},
      {"puts", reinterpret_cast<const void*>(&giza_puts)},
      {"putchar", reinterpret_cast<const void*>(&giza_putchar)},
      {"putchar_unlocked", reinterpret_cast<const void*>(&giza_putchar)},
  };
  bool found = false;
  for (const auto& import : imports)
    found |= redirect_import("libgiza.so", import.symbol, import.replacement);
  return found;
}

}  // namespace

CaughtOutput catch_stdio(const std::function<void()>& run) {
  // Once, at the first catch; the stand-ins stay in place for good.
  [[maybe_unused]] static const bool redirected = redirect_giza();
  CaughtOutput result;
  struct Restore {
    CaughtOutput* outer = caught;
    ~Restore() { caught = outer; }
  } restore;
  caught = &result;
  run();
  return result;
}

}  // namespace mapps
