#include "fortran/entry_support.h"

#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>
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
  rtl::change_hooks([](rtl::Hooks& h) {
    h.output_flusher = [](rtl::BufferedOutput what) {
      mapplot_flush_units(what == rtl::BufferedOutput::kEverything ? 1 : 0);
    };
  });
  return true;
}();

}  // namespace

bool run_catching_fatal_errors(const std::function<void()>& work, std::string& message) {
  const rtl::ScopedHooks to_caller({.fatal_errors = rtl::FatalErrors::kToCaller});
  try {
    try {
      work();
    } catch (const rtl::FatalError&) {
      throw;
    } catch (...) {
      rtl::fatal_if_out_of_memory();  // the report of exhausted storage, caught too
    }
    return true;
  } catch (const rtl::FatalError& e) {
    message = e.what();
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

FileSizeSignalHeld::FileSizeSignalHeld() noexcept {
  sigset_t file_size;
  sigemptyset(&file_size);
  sigaddset(&file_size, SIGXFSZ);
  if (pthread_sigmask(SIG_BLOCK, &file_size, &previous_) != 0) return;
  held_ = sigismember(&previous_, SIGXFSZ) == 0;
}

FileSizeSignalHeld::~FileSizeSignalHeld() {
  if (!held_) return;
  sigset_t file_size;
  sigemptyset(&file_size);
  sigaddset(&file_size, SIGXFSZ);
  // The one SIGXFSZ the call's failed write left pending, taken without waiting.
  const int saved_errno = errno;
  const timespec now{};
  while (sigtimedwait(&file_size, nullptr, &now) == SIGXFSZ || errno == EINTR) {
  }
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  errno = saved_errno;
}

}  // namespace fortran_binding
