#pragma once
// The hooks through which a program, its window layer or a language module
// adapts the run-time services: where console records go, who else sees
// them, what another run-time buffers, how long work is stopped, and what a
// fatal error does.
//
// They sit in one table for the whole program, changed at its start (a window
// layer, a language module as it is loaded). A caller may replace entries for
// the extent of one call, on its own thread only, with a ScopedHooks object:
// a Python module collects that call's console records, a Fortran call with
// stat= takes its fatal errors back. Other threads keep the program's table.

#include <functional>
#include <optional>
#include <string_view>

namespace rtl {

// What a flusher of another run-time's buffers is asked to write out.
enum class BufferedOutput { kStandardOutput, kEverything };

// What a fatal error does on a thread: end the program after its report
// (rtl/fatal.h), or raise rtl::FatalError to the caller, printing nothing.
enum class FatalErrors { kEndProgram, kToCaller };

// An empty entry is absent: the service does what it does without it.
struct Hooks {
  // Takes console records in place of standard output, each without line ending.
  std::function<void(std::string_view)> console_output = {};
  // Receives every console record after it went out (a console window).
  std::function<void(std::string_view)> console_listener = {};
  // Writes out what another language's run-time buffers (rtl/console.h).
  std::function<void(BufferedOutput)> output_flusher = {};
  // Called now and then by long work; throws when the work is to stop.
  std::function<void()> interruption_check = {};
  // Told a fatal error's message before the program ends (a message box).
  std::function<void(std::string_view)> fatal_reporter = {};
  // Ends the program after a fatal error's report; std::exit when absent.
  std::function<void(int code)> fatal_exit = {};
  // kEndProgram when absent.
  std::optional<FatalErrors> fatal_errors = {};
};

// Changes the program's table: `change` edits a copy of it, which then takes
// its place for every thread (a call under way keeps what it looked up).
void change_hooks(const std::function<void(Hooks&)>& change);

// While alive, the entries set in `overrides` take the place of the
// program's on the thread that made it. Scopes nest; the innermost entry set wins.
class ScopedHooks {
 public:
  explicit ScopedHooks(Hooks overrides);
  ~ScopedHooks();
  ScopedHooks(const ScopedHooks&) = delete;
  ScopedHooks& operator=(const ScopedHooks&) = delete;

 private:
  template <class T>
  friend T current_hook(T Hooks::*entry);
  Hooks overrides_;
  const ScopedHooks* outer_;
};

// The entry in force on the calling thread, as a copy that stays valid
// whatever changes meanwhile:
//   if (auto check = rtl::current_hook(&rtl::Hooks::interruption_check)) check();
template <class T>
T current_hook(T Hooks::*entry);

}  // namespace rtl
