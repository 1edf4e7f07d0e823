#pragma once
// SurfaceView: the widget that shows one unit's surface.
//
// It only paints the surface (under the surface lock); the drawing is done
// elsewhere. It keeps the unit's `shown` count: the changes its last paint
// put on the screen. The console unit's view also passes the keys typed
// into it to the console input.

#include <QWidget>

#include <cstdint>
#include <memory>

#include "gfxwin/unit.h"

namespace gfxwin {

class ConsoleInput;

class SurfaceView : public QWidget {
 public:
  // `input` is given for the console window only.
  SurfaceView(std::shared_ptr<Unit> unit, ConsoleInput* input, QWidget* parent = nullptr);
  ~SurfaceView() override;

  const std::shared_ptr<Unit>& unit() const { return unit_; }

  // Paints the surface now if it changed since the last paint, and counts
  // it as shown (also when no part of the widget can be seen: nobody is
  // waiting to see it then).
  void present();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::shared_ptr<Unit> unit_;
  ConsoleInput* input_;
  std::uint64_t painted_ = 0;  // the `drawn` count of the last paint
};

}  // namespace gfxwin
