#include "gfxwin/surface_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

#include "gfxwin/console_input.h"

namespace gfxwin {

SurfaceView::SurfaceView(std::shared_ptr<Unit> unit, ConsoleInput* input, QWidget* parent)
    : QWidget(parent), unit_(std::move(unit)), input_(input) {
  std::lock_guard<SurfaceLock> lock(surface_mutex());
  setFixedSize(unit_->surface.width(), unit_->surface.height());
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(input_ != nullptr ? Qt::StrongFocus : Qt::ClickFocus);
  setMouseTracking(true);
  unit_->shown = 0;  // nothing shown yet
}

SurfaceView::~SurfaceView() {
  std::lock_guard<SurfaceLock> lock(surface_mutex());
  unit_->shown = kNoWindow;
}

void SurfaceView::present() {
  std::uint64_t drawn;
  {
    std::lock_guard<SurfaceLock> lock(surface_mutex());
    drawn = unit_->drawn;
    if (unit_->shown >= drawn) return;
  }
  // A paint, if Qt makes one, records the count it copied (at least `drawn`).
  painted_ = drawn;
  repaint();
  std::lock_guard<SurfaceLock> lock(surface_mutex());
  unit_->shown = painted_;
}

void SurfaceView::paintEvent(QPaintEvent* event) {
  {
    QPainter painter(this);
    std::lock_guard<SurfaceLock> lock(surface_mutex());
    const QImage& image = unit_->surface.image();
    const QRect r = event->rect();
    if (zoom_ == 1) {
      painter.drawImage(r, image, r);
    } else {
      // The surface pixels under the area, each painted as a zoom x zoom
      // square; without smooth transformation the painter takes the nearest.
      const QRect source =
          QRect(QPoint(r.left() / zoom_, r.top() / zoom_), QPoint(r.right() / zoom_, r.bottom() / zoom_))
              .intersected(image.rect());
      const QRect target(source.topLeft() * zoom_, source.size() * zoom_);
      painter.drawImage(target, image, source);
    }
    painted_ = unit_->drawn;
    painted_values_ = unit_->values;
  }
  update_readout();
}

void SurfaceView::set_zoom(int factor) {
  factor = std::clamp(factor, kMinZoom, kMaxZoom);
  if (factor == zoom_) return;
  zoom_ = factor;
  {
    std::lock_guard<SurfaceLock> lock(surface_mutex());
    setFixedSize(unit_->surface.width() * zoom_, unit_->surface.height() * zoom_);
  }
  mouse_.reset();  // the picture moved under the mouse: the next move tells where
  update_readout();
  update();
}

void SurfaceView::mouseMoveEvent(QMouseEvent* event) {
  const QPointF at = event->position();
  mouse_ = QPoint(static_cast<int>(std::floor(at.x() / zoom_)),
                  static_cast<int>(std::floor(at.y() / zoom_)));
  update_readout();
  QWidget::mouseMoveEvent(event);
}

void SurfaceView::leaveEvent(QEvent* event) {
  mouse_.reset();
  update_readout();
  QWidget::leaveEvent(event);
}

void SurfaceView::wheelEvent(QWheelEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier)) {
    QWidget::wheelEvent(event);  // the scroll area scrolls
    return;
  }
  // One step a notch (120 eighths of a degree); finer wheels add up.
  wheel_steps_ += event->angleDelta().y();
  while (std::abs(wheel_steps_) >= 120) {
    const int step = wheel_steps_ > 0 ? 1 : -1;
    wheel_steps_ -= step * 120;
    if (zoom_listener_) zoom_listener_(step);
  }
  event->accept();
}

void SurfaceView::update_readout() {
  std::string text;
  if (mouse_) text = painted_values_.text_at(mouse_->x(), mouse_->y());
  if (text == readout_) return;
  readout_ = std::move(text);
  if (readout_listener_) readout_listener_(readout_);
}

void SurfaceView::keyPressEvent(QKeyEvent* event) {
  if (input_ == nullptr) {
    QWidget::keyPressEvent(event);
    return;
  }
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      input_->enter();
      break;
    case Qt::Key_Backspace:
      input_->backspace();
      break;
    default:
      if (event->text().isEmpty()) {
        QWidget::keyPressEvent(event);
      } else {
        input_->type(event->text().toUtf8().toStdString());
      }
  }
}

}  // namespace gfxwin
