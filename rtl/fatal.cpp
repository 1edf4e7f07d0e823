#include "rtl/fatal.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "rtl/safe_file.h"

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

}  // namespace

void fatal_error(std::string_view message) {
  std::fflush(stdout);
  std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
  std::fflush(stderr);
  remove_pending_files();
  if (reporter()) reporter()(message);
  if (exit_function()) exit_function()(kFatalExitCode);
  std::exit(kFatalExitCode);
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

void set_fatal_reporter(std::function<void(std::string_view)> r) { reporter() = std::move(r); }

void set_fatal_exit(std::function<void(int)> e) { exit_function() = std::move(e); }

void check_interruption() {
  if (interruption_check()) interruption_check()();
}

void set_interruption_check(std::function<void()> c) { interruption_check() = std::move(c); }

}  // namespace rtl
