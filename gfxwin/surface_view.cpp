#include "gfxwin/surface_view.h"

#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>

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
  QPainter painter(this);
  std::lock_guard<SurfaceLock> lock(surface_mutex());
  painter.drawImage(event->rect(), unit_->surface.image(), event->rect());
  painted_ = unit_->drawn;
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
