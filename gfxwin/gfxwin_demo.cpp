// gfxwin_demo: opens a graphics window, draws rectangles, a grid of grey cells
// in window coordinates and a text, and writes console lines.
//
// GFXWIN_DEMO_HOLD=<seconds> keeps the routine running that long after the
// drawing (so that a picture of the screen can be taken).

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <thread>

#include "gfxwin/graphics.h"
#include "gfxwin/runtime.h"
#include "rtl/console.h"

namespace {

int demo() {
  using namespace gfxwin;
  rtl::console_write_line(" gfxwin demo: drawing");
  open_unit(1, "USER", "Demo", "UNKNOWN");
  activate_unit(1);
  clear_window(0);

  set_color_index(13);
  rectangle(kBorder, 5, 5, 999, 650);
  set_rgb_color(0x2D7FE0);  // orange, #E07F2D on the screen
  rectangle(kFillInterior, 20, 20, 320, 220);
  set_color_index(12);
  rectangle(kFillInterior, 340, 20, 440, 120);

  // Ten by ten grey cells over the viewport, y upwards.
  set_viewport(20, 240, 420, 640);
  set_window_coords(true, 0, 0, 10, 10);
  for (int j = 0; j < 10; ++j)
    for (int i = 0; i < 10; ++i) {
      set_rgb_color((i + j) * 13 * 65793);
      rectangle_w(kFillInterior, i, j, i + 1, j + 1);
    }

  set_viewport(0, 0, 1004, 662);
  set_window_coords(false, 0, 0, 1004, 662);
  init_fonts();
  select_font("t'modern'h14w9");
  set_rgb_color(0xFFFFFF);
  move_to_w(460, 40);
  draw_text("gfxwin demo: rectangles, grey cells and this text");

  rtl::console_write_line(" gfxwin demo: drawn");
  if (const char* hold = std::getenv("GFXWIN_DEMO_HOLD")) {
    const double seconds = std::atof(hold);
    if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return gfxwin::run_program(argc, argv, "gfxwin_demo", demo); }
