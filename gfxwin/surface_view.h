#pragma once
// SurfaceView: the widget that shows one unit's surface.
//
// It only paints the surface (under the surface lock); the drawing is done
// elsewhere. It keeps the unit's `shown` count: the changes its last paint
// put on the screen. The console unit's view also passes the keys typed
// into it to the console input.
//
// The picture can be shown enlarged by a whole factor, each surface pixel a
// square of pixels (no smoothing). Under the mouse, the view reads the
// values of the map cell the surface shows there (from the values the unit
// was handed with the picture its last paint showed, so the frame on the
// screen is the frame read) and reports the readout text when it changes.
// Ctrl+wheel asks for a larger or smaller factor.

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "gfxwin/unit.h"

namespace gfxwin {

class ConsoleInput;

inline constexpr int kMinZoom = 1;
inline constexpr int kMaxZoom = 16;

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

  // The enlargement, kMinZoom .. kMaxZoom (others are limited to that).
  int zoom() const { return zoom_; }
  void set_zoom(int factor);

  // Told the readout text ("" off the map) whenever it changes.
  void on_readout(std::function<void(const std::string&)> listener) {
    readout_listener_ = std::move(listener);
  }
  // Told +1 or -1 for Ctrl+wheel up or down.
  void on_zoom_request(std::function<void(int)> listener) {
    zoom_listener_ = std::move(listener);
  }
  const std::string& readout() const { return readout_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void update_readout();

  std::shared_ptr<Unit> unit_;
  ConsoleInput* input_;
  std::uint64_t painted_ = 0;  // the `drawn` count of the last paint
  int zoom_ = 1;
  // The values handed with the picture of the last paint.
  ShownValues painted_values_;
  std::optional<QPoint> mouse_;  // surface pixel under the mouse
  std::string readout_;
  std::function<void(const std::string&)> readout_listener_;
  std::function<void(int)> zoom_listener_;
  int wheel_steps_ = 0;  // eighths of a degree not yet turned into a step
};

}  // namespace gfxwin
