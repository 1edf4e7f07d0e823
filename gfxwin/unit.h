#pragma once
// Units: the windows behind the operations of graphics.h, as the windowing
// runtime sees them.
//
// Every unit's surface is drawn on and read under one lock,
// surface_mutex(); the operations of graphics.h take it for the length of
// one operation. The runtime installs a WindowHost to be told when units are
// opened, activated or reset, and to take over reading console lines. The
// host is installed and removed only while no operation runs.
//
// The program's thread may wait for the windows: until a unit's window has
// shown what was drawn (wait_until_shown), and while the user has paused
// the program (hold_while_paused, at the start of every console and
// graphics operation).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "gfxwin/map_values.h"
#include "gfxwin/surface.h"

namespace gfxwin {

// `shown` of a unit that no window shows: nothing to wait for.
inline constexpr std::uint64_t kNoWindow = UINT64_MAX;

struct Unit {
  Unit(int n, std::string caption) : number(n), title(std::move(caption)) {}
  const int number;
  const std::string title;
  Surface surface;
  // Under surface_mutex(): `drawn` counts the changes of the surface, and
  // `shown` is the count whose picture the unit's window showed last.
  std::uint64_t drawn = 1;
  std::uint64_t shown = kNoWindow;
  // Under surface_mutex(): `shown` when a wait for the window ran out
  // (wait_until_shown); waits go on at once until the window shows again.
  mutable std::uint64_t shown_when_wait_ran_out = kNoWindow;
  // Under surface_mutex(): the values of the map the surface shows, if a
  // renderer handed them (show_map_values), for the readout under the
  // cursor; fill_cell_row_w counts the rows painted.
  ShownValues values;
};

// The lock of the surfaces: held for one operation (a fraction of a
// microsecond) by the program's thread, and for one repaint by the GUI
// thread. A spinning lock costs far less than a system mutex on the hot
// path of 29 282 operations a frame; a waiter yields its processor.
class SurfaceLock {
 public:
  void lock() {
    for (int spins = 0; flag_.test_and_set(std::memory_order_acquire); ++spins)
      if (spins > 64) std::this_thread::yield();
  }
  void unlock() { flag_.clear(std::memory_order_release); }

 private:
  std::atomic_flag flag_ = ATOMIC_FLAG_INIT;
};

SurfaceLock& surface_mutex();

struct WindowHost {
  // A unit was opened; returns when its window exists.
  std::function<void(const std::shared_ptr<Unit>&)> opened;
  // A unit became the active one; its window is to come to the front.
  std::function<void(const std::shared_ptr<Unit>&)> activated;
  // Every graphics unit was closed.
  std::function<void()> reset;
  // Returns when a console line has been entered (it stays on the console).
  std::function<void()> wait_for_console_line;
};

// An empty host: no runtime (read_console_line reads standard input).
void set_window_host(WindowHost host);

// The units in the order of their numbers, the console unit first.
std::vector<std::shared_ptr<Unit>> all_units();

// Console text. A record is written as one line of the console window; the
// characters the user types are echoed at the text cursor until the line
// is ended.
void console_record(std::string_view record);
void console_echo(std::string_view characters);
void console_echo_erase();
void console_echo_end();

// Returns once the unit's window has shown every change drawn so far (at
// once when no window shows the unit). A window that shows nothing for two
// seconds is taken as not visible yet (a show event lost or late on a loaded
// desktop): the wait ends, and later waits end at once until the window
// shows a picture again, so no wait on the window system lasts for ever.
void wait_until_shown(const Unit& unit);
// Wakes wait_until_shown: a window has set `shown` of its units.
void pictures_shown();

// Pause: while paused, hold_while_paused() (called at the start of every
// console and graphics operation on the program's thread) waits for
// set_paused(false).
void set_paused(bool paused);
bool is_paused();
void hold_while_paused();

}  // namespace gfxwin
