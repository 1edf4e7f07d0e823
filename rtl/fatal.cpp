#include "rtl/fatal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "rtl/console.h"
#include "rtl/pending_files.h"

namespace rtl {

void end_program(std::string_view message) {
  flush_program_output();
  std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
  std::fflush(stderr);
  remove_pending_files();
  if (const auto reporter = current_hook(&Hooks::fatal_reporter)) reporter(message);
  if (const auto exit_fn = current_hook(&Hooks::fatal_exit)) exit_fn(kFatalExitCode);
  std::exit(kFatalExitCode);
}

void raise_fatal(const FatalError& e) {
  if (current_hook(&Hooks::fatal_errors) == FatalErrors::kToCaller) throw e;
  end_program(e.what());
}

void fatal_error(std::string_view message) { raise_fatal(FatalError(std::string(message))); }

void file_error(const std::string& file, std::string_view step, int error) {
  std::string message = "File " + file + ": ";
  message += step;
  message += ": ";
  message += std::strerror(error);
  raise_fatal(FatalError(message, error, file));
}

void refuse_nul_bytes(std::string_view text, std::string_view what) {
  if (text.find('\0') == std::string_view::npos) return;
  std::string message(what);
  message += " holds a NUL byte: ";
  for (const char c : text) {
    if (c == '\0') message += "\\0";
    else message += c;
  }
  fatal_error(message);
}

void out_of_memory() { raise_fatal(FatalError("Out of memory", ENOMEM)); }

void fatal_if_out_of_memory() {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    out_of_memory();
  } catch (const std::length_error&) {
    out_of_memory();
  }
}

void fatal_from_exception() {
  try {
    throw;
  } catch (const FatalError& e) {
    end_program(e.what());
  } catch (const std::bad_alloc&) {
    end_program("Out of memory");
  } catch (const std::length_error&) {
    end_program("Out of memory");
  } catch (const std::exception& e) {
    end_program(e.what());
  } catch (...) {
    end_program("Unknown exception");
  }
}

void check_interruption() {
  if (const auto check = current_hook(&Hooks::interruption_check)) check();
}

}  // namespace rtl
