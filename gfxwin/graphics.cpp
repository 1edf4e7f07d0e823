#include "gfxwin/graphics.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <string>
#include <utility>

#include "gfxwin/console_input.h"
#include "gfxwin/graphics_testing.h"
#include "textfmt/drawn_text.h"
#include "textfmt/fixed_text.h"
#include "gfxwin/font_list.h"
#include "gfxwin/unit.h"
#include "rtl/fatal.h"

namespace gfxwin {
namespace {

// The units by number (the console unit always exists), the active unit and
// the console's text; all under surface_mutex().
struct Registry {
  std::map<int, std::shared_ptr<Unit>> units;
  int active = kConsoleUnit;
  Unit* active_unit = nullptr;  // the active unit's entry, or none
  std::string console_lines;   // finished lines, each ending in a line feed
  std::string console_typing;  // the unfinished line
  // While an OffscreenDrawing lives: the units it opened, which have no window.
  bool offscreen = false;
  std::vector<int> offscreen_units;
};

bool is_offscreen(const Registry& r, int unit) {
  return std::find(r.offscreen_units.begin(), r.offscreen_units.end(), unit) !=
         r.offscreen_units.end();
}

Registry& registry() {
  static Registry* r = [] {
    auto* reg = new Registry;  // kept to the end: the GUI thread may still paint
    reg->units[kConsoleUnit] = std::make_shared<Unit>(kConsoleUnit, "Console");
    reg->active_unit = reg->units[kConsoleUnit].get();
    return reg;
  }();
  return *r;
}

std::mutex& host_mutex() {
  static std::mutex m;
  return m;
}

WindowHost& host() {
  static WindowHost h;
  return h;
}

WindowHost current_host() {
  std::lock_guard<std::mutex> lock(host_mutex());
  return host();
}

// What the program's thread waits for from the windows: pictures shown and
// Continue.
struct Waits {
  std::mutex mutex;
  std::condition_variable news;
};

// Read at the start of every operation, so without a lock or a guard.
constinit std::atomic<bool> paused{false};

Waits& waits() {
  static Waits* w = new Waits;  // kept to the end, like the registry
  return *w;
}

// Wakes the waiters after a change made before the call; taking the mutex
// first keeps a waiter from missing it between its test and its sleep.
void tell_waiters() {
  Waits& w = waits();
  { std::lock_guard<std::mutex> lock(w.mutex); }
  w.news.notify_all();
}

// Runs `op` on the active unit under the lock; `changes` counts a change of
// its surface. Returns `none` when there is no active window.
template <class R, class Op>
R on_active(R none, bool changes, Op op) {
  hold_while_paused();
  std::lock_guard<SurfaceLock> lock(surface_mutex());
  Unit* const active = registry().active_unit;
  if (active == nullptr) return none;
  Unit& unit = *active;
  if (changes) ++unit.drawn;
  return op(unit);
}

Unit& console_unit_locked() { return *registry().units[kConsoleUnit]; }

// The font list, built on first use.
const FontList& fonts() { return FontList::system(); }

}  // namespace

SurfaceLock& surface_mutex() {
  static SurfaceLock* m = new SurfaceLock;  // kept to the end, like the registry
  return *m;
}

void set_window_host(WindowHost h) {
  std::lock_guard<std::mutex> lock(host_mutex());
  host() = std::move(h);
}

std::vector<std::shared_ptr<Unit>> all_units() {
  std::lock_guard<SurfaceLock> lock(surface_mutex());
  std::vector<std::shared_ptr<Unit>> list;
  for (const auto& [number, unit] : registry().units) list.push_back(unit);
  return list;
}

void console_record(std::string_view record) {
  std::lock_guard<SurfaceLock> lock(surface_mutex());
  Registry& r = registry();
  Unit& console = console_unit_locked();
  // A record starts on a line of its own, after anything being typed.
  if (console.surface.text_column() > 1) console.surface.new_line();
  if (!r.console_typing.empty()) {
    r.console_lines += r.console_typing + '\n';
    r.console_typing.clear();
  }
  console.surface.put_text(record);
  console.surface.new_line();
  r.console_lines.append(record);
  r.console_lines += '\n';
  ++console.drawn;
}

void console_echo(std::string_view characters) {
  std::lock_guard<SurfaceLock> lock(surface_mutex());
  Unit& console = console_unit_locked();
  console.surface.put_text(characters);
  registry().console_typing.append(characters);
  ++console.drawn;
}

void console_echo_erase() {
  std::lock_guard<SurfaceLock> lock(surface_mutex());
  Unit& console = console_unit_locked();
  console.surface.erase_back();
  std::string& typing = registry().console_typing;
  textfmt::pop_character(typing);
  ++console.drawn;
}

void console_echo_end() {
  std::lock_guard<SurfaceLock> lock(surface_mutex());
  Registry& r = registry();
  Unit& console = console_unit_locked();
  console.surface.new_line();
  r.console_lines += r.console_typing + '\n';
  r.console_typing.clear();
  ++console.drawn;
}

std::string console_text() {
  std::lock_guard<SurfaceLock> lock(surface_mutex());
  return registry().console_lines + registry().console_typing;
}

void wait_until_shown(const Unit& unit) {
  constexpr auto kLongestWait = std::chrono::seconds(2);
  Waits& w = waits();
  std::unique_lock<std::mutex> lock(w.mutex);
  const bool shown = w.news.wait_for(lock, kLongestWait, [&unit] {
    std::lock_guard<SurfaceLock> surfaces(surface_mutex());
    return unit.shown >= unit.drawn || unit.shown == unit.shown_when_wait_ran_out;
  });
  if (shown) return;
  std::lock_guard<SurfaceLock> surfaces(surface_mutex());
  unit.shown_when_wait_ran_out = unit.shown;
}

void pictures_shown() { tell_waiters(); }

void set_paused(bool on) {
  paused.store(on);
  tell_waiters();
}

bool is_paused() { return paused.load(); }

void hold_while_paused() {
  if (!paused.load(std::memory_order_relaxed)) return;
  Waits& w = waits();
  std::unique_lock<std::mutex> lock(w.mutex);
  w.news.wait(lock, [] { return !paused.load(); });
}

void open_unit(int unit, std::string_view file, std::string_view title, std::string_view status) {
  (void)status;  // "UNKNOWN": a window unit is created whether or not it existed
  hold_while_paused();
  std::shared_ptr<Unit> opened;
  bool offscreen = false;
  {
    std::lock_guard<SurfaceLock> lock(surface_mutex());
    Registry& r = registry();
    if (unit >= 0 && textfmt::same_ignoring_case(textfmt::strip(file), "USER") &&
        r.units.count(unit) == 0) {
      opened = std::make_shared<Unit>(unit, std::string(textfmt::strip(title)));
      r.units[unit] = opened;
      offscreen = r.offscreen;
      if (offscreen) r.offscreen_units.push_back(unit);
    }
  }
  // The report ends the program; the lock is not held by then.
  if (!opened)
    rtl::fatal_error("open: cannot open window unit " + std::to_string(unit) + " on file '" +
                     std::string(textfmt::strip(file)) + "'");
  if (offscreen) return;
  if (const WindowHost h = current_host(); h.opened) h.opened(opened);
}

int activate_unit(int unit) {
  hold_while_paused();
  std::shared_ptr<Unit> activated;
  bool offscreen = false;
  {
    std::lock_guard<SurfaceLock> lock(surface_mutex());
    Registry& r = registry();
    const auto it = r.units.find(unit);
    if (it == r.units.end()) return -1;
    r.active = unit;
    r.active_unit = it->second.get();
    activated = it->second;
    offscreen = is_offscreen(r, unit);
  }
  if (offscreen) return 0;
  if (const WindowHost h = current_host(); h.activated) h.activated(activated);
  return 0;
}

void clear_window(std::int16_t area) {
  const int cleared = on_active(-1, true, [&](Unit& u) {
    // An unfinished console line ends before the window is cleared.
    if (u.surface.text_column() > 1) u.surface.new_line();
    u.surface.clear(area);
    if (area == 0) u.values = {};
    return area == 0 ? u.number : -1;
  });
  // A window cleared ends its film (outside the surfaces' lock: finishing
  // a film takes a while).
  if (cleared >= 0) end_film(cleared);
}

std::int16_t set_color_index(std::int16_t index) {
  return on_active<std::int16_t>(-1, false, [&](Unit& u) { return u.surface.set_color_index(index); });
}

std::int16_t rectangle(std::int16_t control, std::int16_t x1, std::int16_t y1, std::int16_t x2,
                       std::int16_t y2) {
  return on_active<std::int16_t>(0, true, [&](Unit& u) {
    return u.surface.rectangle(control, x1, y1, x2, y2);
  });
}

void set_viewport(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2) {
  on_active(0, false, [&](Unit& u) {
    u.surface.set_viewport(x1, y1, x2, y2);
    return 0;
  });
}

std::int16_t set_window_coords(bool upward, double wx1, double wy1, double wx2, double wy2) {
  return on_active<std::int16_t>(0, false, [&](Unit& u) {
    return u.surface.set_window_coords(upward, wx1, wy1, wx2, wy2);
  });
}

std::int32_t set_rgb_color(std::int32_t rgb) {
  return on_active<std::int32_t>(-1, false, [&](Unit& u) { return u.surface.set_rgb_color(rgb); });
}

std::int16_t rectangle_w(std::int16_t control, double wx1, double wy1, double wx2, double wy2) {
  return on_active<std::int16_t>(0, true, [&](Unit& u) {
    return u.surface.rectangle_w(control, wx1, wy1, wx2, wy2);
  });
}

void fill_cell_row_w(const std::int32_t* rgb, const double* edges, std::size_t n, double lower,
                     double upper) {
  on_active(0, n > 0, [&](Unit& u) {
    u.surface.fill_cell_row(rgb, edges, n, lower, upper);
    ++u.values.rows_painted;
    return 0;
  });
}

void lines_w(const double* xy, std::size_t n) {
  on_active(0, n > 0, [&](Unit& u) {
    for (std::size_t k = 0; k < n; ++k)
      u.surface.line_w(xy[4 * k], xy[4 * k + 1], xy[4 * k + 2], xy[4 * k + 3]);
    return 0;
  });
}

std::int16_t init_fonts() {
  // Built before the lock is taken: the first call measures the system's fonts.
  const FontList& list = fonts();
  on_active(0, false, [&](Unit& u) {
    u.surface.set_font(list.default_font());
    return 0;
  });
  return static_cast<std::int16_t>(std::min(list.size(), 32767));
}

std::int16_t select_font(std::string_view options) {
  const std::optional<FontChoice> choice = fonts().select(options);
  if (!choice) return -1;
  const bool has_window = on_active(false, false, [&](Unit& u) {
    u.surface.set_font(choice);
    return true;
  });
  return has_window ? static_cast<std::int16_t>(choice->index) : std::int16_t{-1};
}

WindowPoint move_to_w(double wx, double wy) {
  return on_active(WindowPoint{}, false, [&](Unit& u) { return u.surface.move_to_w(wx, wy); });
}

void draw_text(std::string_view text) {
  on_active(0, true, [&](Unit& u) {
    u.surface.draw_text(text);
    return 0;
  });
}

std::int16_t set_video_mode(std::int16_t mode) {
  return on_active<std::int16_t>(0, true, [&](Unit& u) {
    if (mode == kDefaultMode) u.values = {};
    return u.surface.set_video_mode(mode);
  });
}

std::vector<int> last_cells(bool columns, const double* bounds, std::size_t n, int& first) {
  return on_active(std::vector<int>{}, false, [&](Unit& u) {
    first = columns ? u.surface.clip_left() : u.surface.clip_top();
    return u.surface.last_cells(columns, bounds, n);
  });
}

void show_map_values(std::shared_ptr<const MapValues> values) {
  on_active(0, false, [&](Unit& u) {
    // The picture shows the last values' rows painted, and the ones before
    // elsewhere; from now on the rows painted are the new values'.
    if (u.values.last && u.values.rows_painted >= u.values.last->rows)
      u.values.before = std::move(u.values.last);
    u.values.last = std::move(values);
    u.values.rows_painted = 0;
    return 0;
  });
}

std::shared_ptr<const MapValues> map_values(int unit) {
  std::lock_guard<SurfaceLock> lock(surface_mutex());
  const auto& units = registry().units;
  const auto it = units.find(unit);
  return it != units.end() ? it->second->values.last : nullptr;
}

std::string readout_text(int unit, int px, int py) {
  std::lock_guard<SurfaceLock> lock(surface_mutex());
  const auto& units = registry().units;
  const auto it = units.find(unit);
  return it != units.end() ? it->second->values.text_at(px, py) : std::string();
}

std::int16_t set_text_color(std::int16_t index) {
  return on_active<std::int16_t>(-1, false, [&](Unit& u) { return u.surface.set_text_color(index); });
}

void read_console_line() {
  hold_while_paused();
  if (const WindowHost h = current_host(); h.wait_for_console_line) {
    h.wait_for_console_line();
    return;
  }
  // Without the runtime there is no window to type in: standard input only,
  // and its end is as good as Enter.
  static ConsoleInput standard_input;
  standard_input.read_line(STDIN_FILENO, true);
}

bool snapshot(int unit, Picture& out) {
  std::lock_guard<SurfaceLock> lock(surface_mutex());
  Registry& r = registry();
  const auto it = r.units.find(unit);
  if (it == r.units.end()) return false;
  out = it->second->surface.picture();
  return true;
}

std::string window_title(int unit) {
  std::lock_guard<SurfaceLock> lock(surface_mutex());
  Registry& r = registry();
  const auto it = r.units.find(unit);
  return it == r.units.end() ? std::string() : it->second->title;
}

int active_unit() {
  std::lock_guard<SurfaceLock> lock(surface_mutex());
  Registry& r = registry();
  return r.active;
}

void reset_for_tests() {
  {
    std::lock_guard<SurfaceLock> lock(surface_mutex());
    Registry& r = registry();
    // The console unit stays the same object (its window may show it); its
    // surface starts afresh.
    const std::shared_ptr<Unit> console = r.units[kConsoleUnit];
    r.units.clear();
    console->surface = Surface();
    console->values = {};
    ++console->drawn;
    r.units[kConsoleUnit] = console;
    r.active = kConsoleUnit;
    r.active_unit = console.get();
    r.console_lines.clear();
    r.console_typing.clear();
  }
  if (const WindowHost h = current_host(); h.reset) h.reset();
}

OffscreenDrawing::OffscreenDrawing() {
  std::lock_guard<SurfaceLock> lock(surface_mutex());
  Registry& r = registry();
  active_before_ = r.active;
  r.offscreen = true;
}

// The window in front never changed (activations off screen were not told),
// so the unit active before is made active again without telling either.
OffscreenDrawing::~OffscreenDrawing() {
  std::lock_guard<SurfaceLock> lock(surface_mutex());
  Registry& r = registry();
  for (int unit : r.offscreen_units) r.units.erase(unit);
  r.offscreen_units.clear();
  r.offscreen = false;
  const auto it = r.units.find(active_before_);
  r.active = it != r.units.end() ? active_before_ : kConsoleUnit;
  r.active_unit = r.units[r.active].get();
}

}  // namespace gfxwin
