// Animation pacing on a real display (run under Xvfb with a window manager):
// every frame of an animation reaches the screen.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMetaObject>
#include <QPixmap>
#include <QScreen>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "gfxwin/graphics.h"
#include "gfxwin/runtime.h"
#include "gfxwin/surface.h"
#include "gfxwin/surface_view.h"

namespace gfxwin {
namespace {

// The pixel the X server shows at (100, 100) of the unit's window, as
// 0xRRGGBB. Asked on the GUI thread, over the connection that drew the
// window, so the server has done that drawing before it answers.
std::uint32_t pixel_on_screen(int unit) {
  std::uint32_t pixel = 0x1000000;  // no such window
  QMetaObject::invokeMethod(
      qApp,
      [&] {
        for (QWidget* widget : QApplication::allWidgets()) {
          const auto* view = dynamic_cast<SurfaceView*>(widget);
          if (view == nullptr || view->unit()->number != unit) continue;
          const QPoint at = view->mapToGlobal(QPoint(100, 100));
          const QImage shot = view->screen()->grabWindow(0, at.x(), at.y(), 1, 1).toImage();
          pixel = shot.pixel(0, 0) & 0xFFFFFFu;
        }
      },
      Qt::BlockingQueuedConnection);
  return pixel;
}

std::int32_t grey(int k) { return (10 + 6 * k) * 65793; }

// Each frame paints the whole window in a grey of its own and activates the
// unit first, as the screen map does; when the activation returns, the
// screen shows the frame before.
TEST(PacingOnADisplay, EveryFrameOfAnAnimationReachesTheScreen) {
  setenv("MAPPLOT_NO_ASK", "1", 1);
  constexpr int kFrames = 40;
  std::string platform;
  std::vector<std::uint32_t> seen;
  char name[] = "pacing_display_test";
  char* argv[] = {name, nullptr};
  const int code = run_program(1, argv, name, [&] {
    platform = QGuiApplication::platformName().toStdString();
    open_unit(1, "USER", "Frames", "UNKNOWN");
    for (int k = 0; k <= kFrames; ++k) {
      activate_unit(1);
      if (k > 0) seen.push_back(pixel_on_screen(1));
      if (k == kFrames) break;
      set_rgb_color(grey(k));
      rectangle(kFillInterior, 0, 0, 1004, 662);
    }
    return 0;
  });

  EXPECT_EQ(code, 0);
  ASSERT_EQ(platform, "xcb");  // a real display, not the offscreen platform
  std::vector<std::uint32_t> drawn;
  for (int k = 0; k < kFrames; ++k) drawn.push_back(pixel_of_rgb(grey(k)));
  EXPECT_EQ(seen, drawn);
}

}  // namespace
}  // namespace gfxwin
