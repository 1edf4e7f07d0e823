#include "fortran/entry_support.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>
#include <utility>

#include "rtl/console.h"

namespace fortran_binding {
namespace {

// The Fortran run-time buffers what the program writes to its units
// (flush_units.F90): written out before each console record and before the
// program ends, so that the program's lines keep their order and its files
// their contents whatever ends it.
extern "C" void mapplot_flush_units(int every_unit);
const bool fortran_units_flushed = [] {
  rtl::set_output_flusher([](rtl::BufferedOutput what) {
    mapplot_flush_units(what == rtl::BufferedOutput::kEverything ? 1 : 0);
  });
  return true;
}();

// What the exit function throws for a fatal error reported on the thread
// that catches them.
struct CaughtFatalError {};

// While alive, the fatal errors reported on the thread that made it throw
// CaughtFatalError after the report, which keeps their message and prints
// nothing; the hooks it replaces serve every other thread and come back
// when it ends.
class FatalErrorsCaught {
 public:
  FatalErrorsCaught()
      : thread_(std::this_thread::get_id()),
        printing_(rtl::set_fatal_printing_on_this_thread(false)) {
    previous_reporter_ = rtl::set_fatal_reporter([this](std::string_view message) {
      if (std::this_thread::get_id() == thread_) {
        message_.assign(message);
      } else if (previous_reporter_) {
        previous_reporter_(message);
      }
    });
    previous_exit_ = rtl::set_fatal_exit([this](int code) {
      if (std::this_thread::get_id() == thread_) throw CaughtFatalError{};
      if (previous_exit_) previous_exit_(code);
      std::exit(code);
    });
  }
  ~FatalErrorsCaught() {
    rtl::set_fatal_exit(std::move(previous_exit_));
    rtl::set_fatal_reporter(std::move(previous_reporter_));
    rtl::set_fatal_printing_on_this_thread(printing_);
  }
  FatalErrorsCaught(const FatalErrorsCaught&) = delete;
  FatalErrorsCaught& operator=(const FatalErrorsCaught&) = delete;

  std::string& message() { return message_; }

 private:
  std::thread::id thread_;
  bool printing_;
  std::string message_;
  std::function<void(std::string_view)> previous_reporter_;
  std::function<void(int)> previous_exit_;
};

}  // namespace

bool run_catching_fatal_errors(const std::function<void()>& work, std::string& message) {
  FatalErrorsCaught caught;
  try {
    try {
      work();
    } catch (const CaughtFatalError&) {
      throw;
    } catch (...) {
      rtl::fatal_if_out_of_memory();  // the report of exhausted storage, caught too
    }
    return true;
  } catch (const CaughtFatalError&) {
    message = std::move(caught.message());
    return false;
  }
}

void assign_text(char* chars, std::ptrdiff_t length, std::string_view text) {
  if (length <= 0) return;
  const auto n = static_cast<std::size_t>(length);
  const std::size_t kept = std::min(n, text.size());
  std::memcpy(chars, text.data(), kept);
  std::memset(chars + kept, ' ', n - kept);
}

}  // namespace fortran_binding
