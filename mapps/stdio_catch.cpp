#include "mapps/stdio_catch.h"

#include <sys/types.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <new>

namespace mapps {
namespace {

// The catch of the calling thread, while one runs.
thread_local CaughtOutput* caught = nullptr;

// A stream standing in for stdout or stderr. Unbuffered, so that every write
// reaches write_through on the thread that makes it. Never closed: a thread
// may still hold its pointer after the real stream is back in place, and its
// writes then go on to the real stream like any other thread's.
struct StandIn {
  std::string CaughtOutput::*text;
  std::atomic<std::FILE*> real{nullptr};  // the stream it stands in for
  std::FILE* stream = nullptr;
};

ssize_t write_through(void* cookie, const char* data, std::size_t size) {
  StandIn& s = *static_cast<StandIn*>(cookie);
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
  // Through the real stream, not its descriptor: what the thread wrote there
  // before may still wait in its buffer. Flushed at once, as nothing else
  // would flush it for a write that came this way.
  std::FILE* real = s.real.load();
  const std::size_t written = std::fwrite(data, 1, size, real);
  std::fflush(real);
  return written == 0 && size != 0 ? -1 : static_cast<ssize_t>(written);
}

struct Swap {
  std::mutex mutex;
  int catching = 0;  // catches running, on every thread
  StandIn out{&CaughtOutput::out};
  StandIn err{&CaughtOutput::err};
};

// Never destroyed: a device closed while the program ends still catches.
Swap& swap_state() {
  static Swap& s = *new Swap;
  return s;
}

std::FILE* stand_in_stream(StandIn& s) {
  if (s.stream == nullptr) {
    cookie_io_functions_t io{};
    io.write = write_through;
    s.stream = fopencookie(&s, "w", io);
    if (s.stream == nullptr) throw std::bad_alloc();
    std::setvbuf(s.stream, nullptr, _IONBF, 0);
  }
  return s.stream;
}

// Other threads read the pointers without a lock: each is replaced in one
// store, so a reader sees either stream, and both stay valid.
void set_standard_streams(std::FILE* out, std::FILE* err) {
  std::atomic_ref<std::FILE*>(stdout).store(out);
  std::atomic_ref<std::FILE*>(stderr).store(err);
}

void begin_catch() {
  Swap& s = swap_state();
  const std::lock_guard<std::mutex> lock(s.mutex);
  if (s.catching == 0) {
    std::FILE* out = stand_in_stream(s.out);
    std::FILE* err = stand_in_stream(s.err);
    s.out.real = stdout;
    s.err.real = stderr;
    set_standard_streams(out, err);
  }
  ++s.catching;
}

void end_catch() {
  Swap& s = swap_state();
  const std::lock_guard<std::mutex> lock(s.mutex);
  if (--s.catching == 0) set_standard_streams(s.out.real, s.err.real);
}

}  // namespace

CaughtOutput catch_stdio(const std::function<void()>& run) {
  begin_catch();
  CaughtOutput result;
  struct Restore {
    CaughtOutput* outer = caught;
    ~Restore() {
      caught = outer;
      end_catch();
    }
  } restore;
  caught = &result;
  run();
  return result;
}

}  // namespace mapps
