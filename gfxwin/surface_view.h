#pragma once
// SurfaceView: the widget that shows one unit's surface.
//
// It only paints the surface (under the surface lock); the drawing is done
// elsewhere. The console unit's view also passes the keys typed into it to
// the console input.

#include <QWidget>

#include <memory>

#include "gfxwin/unit.h"

namespace gfxwin {

class ConsoleInput;

class SurfaceView : public QWidget {
 public:
  // `input` is given for the console window only.
  SurfaceView(std::shared_ptr<Unit> unit, ConsoleInput* input, QWidget* parent = nullptr);

  const std::shared_ptr<Unit>& unit() const { return unit_; }

  // Schedules a repaint when the surface changed since the last one.
  void refresh();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::shared_ptr<Unit> unit_;
  ConsoleInput* input_;
};

}  // namespace gfxwin
