#include "driver/zoom_main.h"

#include "driver/escape.h"
#include "driver/hand_off.h"
#include "driver/zoom.h"
#include "rtl/console.h"
#include "textfmt/list_record.h"

namespace driver {

int run_zoom() {
  ZoomGrid grid;
  for (int k = 1; k <= kFrameCount; ++k) {
    const FrameGeometry geometry = fill_frame(k, grid, Kernel::fast);

    auto& out = rtl::console();
    textfmt::begin_record(out);
    textfmt::put_integer(out, k);
    textfmt::put_text(out, " Ray = ");
    textfmt::put_real(out, geometry.r);
    textfmt::end_record(out);

    hand_off_frame(grid, k == 1 ? 0 : -1);
  }
  return 0;
}

}  // namespace driver
