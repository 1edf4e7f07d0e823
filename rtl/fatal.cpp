#include "rtl/fatal.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "rtl/console.h"
#include "rtl/pending_files.h"

namespace rtl {
namespace {

std::function<void(std::string_view)>& reporter() {
  static std::function<void(std::string_view)> r;
  return r;
}

std::function<void(int)>& exit_function() {
  static std::function<void(int)> e;
  return e;
}

std::function<void()>& interruption_check() {
  static std::function<void()> c;
  return c;
}

thread_local bool printing_on_this_thread = true;

}  // namespace

void fatal_error(std::string_view message) {
  flush_program_output();
  if (printing_on_this_thread) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
    std::fflush(stderr);
  }
  remove_pending_files();
  if (reporter()) reporter()(message);
  if (exit_function()) exit_function()(kFatalExitCode);
  std::exit(kFatalExitCode);
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

void out_of_memory() { fatal_error("Out of memory"); }

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
    fatal_if_out_of_memory();
  } catch (const std::exception& e) {
    fatal_error(e.what());
  } catch (...) {
    fatal_error("Unknown exception");
  }
}

std::function<void(std::string_view)> set_fatal_reporter(
    std::function<void(std::string_view)> r) {
  return std::exchange(reporter(), std::move(r));
}

std::function<void(int)> set_fatal_exit(std::function<void(int)> e) {
  return std::exchange(exit_function(), std::move(e));
}

bool set_fatal_printing_on_this_thread(bool print) {
  return std::exchange(printing_on_this_thread, print);
}

void check_interruption() {
  if (interruption_check()) interruption_check()();
}

void set_interruption_check(std::function<void()> c) { interruption_check() = std::move(c); }

}  // namespace rtl
