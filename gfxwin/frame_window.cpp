#include "gfxwin/frame_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "gfxwin/console_input.h"
#include "rtl/fatal.h"
#include "rtl/hooks.h"
#include "gfxwin/graphics.h"
#include "gfxwin/runtime.h"
#include "gfxwin/surface_view.h"
#include "rtl/pending_files.h"

namespace gfxwin {
namespace {

constexpr int kCascadeStep = 24;
// Room for a child window's title bar, borders and the scroll area's frame.
const QSize kDecoration(16, 36);

QString text(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

FrameWindow::FrameWindow(const std::string& program_name, ConsoleInput* input, bool interactive)
    : name_(program_name), input_(input), interactive_(interactive), mdi_(new QMdiArea(this)) {
  setWindowTitle(text(name_));
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdi_);
  createActions();
  createMenus();
  createRepaintTimer();
  createStatusBar();
  resize(1200, 900);
}

void FrameWindow::createActions() {
  save_action_ = new QAction(tr("&Save picture..."), this);
  save_action_->setShortcut(QKeySequence::Save);
  connect(save_action_, &QAction::triggered, this, &FrameWindow::save_picture);

  record_action_ = new QAction(tr("&Record..."), this);
  connect(record_action_, &QAction::triggered, this, &FrameWindow::record_film);

  exit_action_ = new QAction(tr("E&xit"), this);
  exit_action_->setShortcut(QKeySequence::Quit);
  connect(exit_action_, &QAction::triggered, this, &QWidget::close);

  copy_picture_action_ = new QAction(tr("&Copy picture"), this);
  copy_picture_action_->setShortcut(QKeySequence::Copy);
  connect(copy_picture_action_, &QAction::triggered, this, &FrameWindow::copy_picture);

  copy_text_action_ = new QAction(tr("Copy console &text"), this);
  connect(copy_text_action_, &QAction::triggered, this, &FrameWindow::copy_console_text);

  tile_action_ = new QAction(tr("&Tile"), this);
  connect(tile_action_, &QAction::triggered, mdi_, &QMdiArea::tileSubWindows);

  cascade_action_ = new QAction(tr("&Cascade"), this);
  connect(cascade_action_, &QAction::triggered, mdi_, &QMdiArea::cascadeSubWindows);

  zoom_in_action_ = new QAction(tr("Zoom &In"), this);
  zoom_in_action_->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus),
                                 QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  connect(zoom_in_action_, &QAction::triggered, this, [this] { zoom_front(1); });

  zoom_out_action_ = new QAction(tr("Zoom &Out"), this);
  zoom_out_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
  connect(zoom_out_action_, &QAction::triggered, this, [this] { zoom_front(-1); });

  actual_size_action_ = new QAction(tr("&Actual Size"), this);
  actual_size_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
  connect(actual_size_action_, &QAction::triggered, this, [this] { zoom_front(0); });

  pause_action_ = new QAction(tr("&Pause"), this);
  pause_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  connect(pause_action_, &QAction::triggered, this, [this] { pause_program(true); });

  continue_action_ = new QAction(tr("&Continue"), this);
  continue_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  continue_action_->setEnabled(false);
  connect(continue_action_, &QAction::triggered, this, [this] { pause_program(false); });

  about_action_ = new QAction(tr("&About"), this);
  connect(about_action_, &QAction::triggered, this, &FrameWindow::about);
}

void FrameWindow::createMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addAction(save_action_);
  file->addAction(record_action_);
  // The front window's film decides what Record does.
  connect(file, &QMenu::aboutToShow, this, [this] {
    const Child* c = front_child();
    const bool filming = c != nullptr && !film_path(c->unit->number).empty();
    record_action_->setText(filming ? tr("Stop &Recording") : tr("&Record..."));
    record_action_->setEnabled(c != nullptr);
  });
  file->addSeparator();
  file->addAction(exit_action_);

  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  edit->addAction(copy_picture_action_);
  edit->addAction(copy_text_action_);

  QMenu* view = menuBar()->addMenu(tr("&View"));
  view->addAction(zoom_in_action_);
  view->addAction(zoom_out_action_);
  view->addAction(actual_size_action_);

  QMenu* run = menuBar()->addMenu(tr("&Run"));
  run->addAction(pause_action_);
  run->addAction(continue_action_);

  window_menu_ = menuBar()->addMenu(tr("&Window"));
  connect(window_menu_, &QMenu::aboutToShow, this, &FrameWindow::update_window_menu);
  update_window_menu();

  QMenu* help = menuBar()->addMenu(tr("&Help"));
  help->addAction(about_action_);
}

void FrameWindow::createRepaintTimer() {
  // Once per refresh of the screen; an unlikely rate counts as 60 Hz.
  const double rate = screen()->refreshRate();
  const double hz = rate >= 20 && rate <= 500 ? rate : 60;
  repaint_timer_ = new QTimer(this);
  repaint_timer_->setTimerType(Qt::PreciseTimer);
  connect(repaint_timer_, &QTimer::timeout, this, &FrameWindow::present_pictures);
  repaint_timer_->start(static_cast<int>(std::lround(1000 / hz)));
}

void FrameWindow::createStatusBar() {
  status_label_ = new QLabel;
  status_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  statusBar()->addWidget(status_label_, 1);
  const char* hook = std::getenv("MAPPLOT_STATUS_TEXT");
  status_to_stderr_ = hook != nullptr && *hook != '\0' && std::strcmp(hook, "0") != 0;
}

void FrameWindow::update_status() {
  // "Paused" first while paused, so that it stays where the eye finds it.
  std::string text = is_paused() && !finished_ ? "Paused" : "";
  if (!readout_.empty()) text += (text.empty() ? "" : "    ") + readout_;
  if (text == status_) return;
  status_ = text;
  status_label_->setText(QString::fromStdString(status_));
  if (status_to_stderr_) {
    std::fprintf(stderr, "status: %s\n", status_.c_str());
    std::fflush(stderr);
  }
}

void FrameWindow::zoom_front(int step) {
  const Child* c = front_child();
  if (c == nullptr) return;
  zoom_view(*c, step == 0 ? 1 : c->view->zoom() + step);
}

void FrameWindow::zoom_view(const Child& child, int factor) {
  child.view->set_zoom(factor);
  // The child window grows with its picture as far as the frame has room;
  // beyond that its scroll bars show the rest.
  const QSize room = mdi_->viewport()->size();
  const QSize wanted = child.view->size() + kDecoration;
  child.window->resize(std::min(wanted.width(), room.width()),
                       std::min(wanted.height(), room.height()));
}

void FrameWindow::present_pictures() {
  for (const Child& c : children_) c.view->present();
  pictures_shown();
}

void FrameWindow::pause_program(bool paused) {
  set_paused(paused);
  pause_action_->setEnabled(!paused);
  continue_action_->setEnabled(paused);
  update_caption();
  update_status();
}

void FrameWindow::update_caption() {
  const char* state = finished_ ? " [finished]" : is_paused() ? " [paused]" : "";
  setWindowTitle(text(name_ + state));
}

void FrameWindow::add_unit(const std::shared_ptr<Unit>& unit) {
  const bool console = unit->number == kConsoleUnit;
  auto* view = new SurfaceView(unit, console ? input_ : nullptr);
  auto* scroll = new QScrollArea;
  scroll->setWidget(view);
  scroll->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  // Child windows stay as long as their units: no close button.
  auto* window = mdi_->addSubWindow(scroll, Qt::SubWindow | Qt::CustomizeWindowHint |
                                                Qt::WindowTitleHint |
                                                Qt::WindowMinMaxButtonsHint);
  window->setWindowTitle(text(unit->title));
  // The console window shows its text window of 80 x 30 cells; a graphics
  // window its whole surface.
  const QSize shown = console ? QSize(kTextColumns * kCellWidth, kTextRows * kCellHeight)
                              : view->size();
  window->resize(shown + kDecoration);
  const int k = static_cast<int>(children_.size());
  window->move(k * kCascadeStep, k * kCascadeStep);
  window->show();
  children_.push_back({unit, window, view});
  view->on_readout([this](const std::string& readout) {
    readout_ = readout;
    update_status();
  });
  view->on_zoom_request([this, view](int step) {
    for (const Child& c : children_)
      if (c.view == view) zoom_view(c, view->zoom() + step);
  });
  if (console) view->setFocus();
}

void FrameWindow::bring_to_front(int unit) {
  for (const Child& c : children_) {
    if (c.unit->number != unit) continue;
    if (c.window->isMinimized()) c.window->showNormal();
    mdi_->setActiveSubWindow(c.window);
    c.window->raise();
  }
}

void FrameWindow::remove_graphics_units() {
  auto graphics = [](const Child& c) { return c.unit->number != kConsoleUnit; };
  for (const Child& c : children_)
    if (graphics(c)) {
      mdi_->removeSubWindow(c.window);
      c.window->deleteLater();
    }
  children_.erase(std::remove_if(children_.begin(), children_.end(), graphics), children_.end());
  readout_.clear();  // the map under the mouse may have gone with them
  update_status();
}

void FrameWindow::program_finished(int exit_code) {
  finished_ = true;
  exit_code_ = exit_code;
  set_paused(false);  // nothing left to hold
  pause_action_->setEnabled(false);
  continue_action_->setEnabled(false);
  update_caption();
  update_status();
  present_pictures();
  if (!interactive_) {
    // MAPPLOT_EXIT_DELAY_MS keeps the finished windows on the screen that
    // long (for a picture of them) before the program ends.
    const char* delay = std::getenv("MAPPLOT_EXIT_DELAY_MS");
    const int ms = delay != nullptr ? std::clamp(std::atoi(delay), 0, 600000) : 0;
    QTimer::singleShot(ms, this, [exit_code] { QApplication::exit(exit_code); });
    return;
  }
  if (!asking_) ask_to_close();  // else after the open question (closeEvent)
}

void FrameWindow::ask_to_close() {
  asking_ = true;
  const auto answer = QMessageBox::question(
      this, text(name_),
      tr("The program has finished with exit code %1.\nClose the window?").arg(exit_code_));
  asking_ = false;
  if (answer == QMessageBox::Yes) close();
}

void FrameWindow::closeEvent(QCloseEvent* event) {
  if (!finished_ && interactive_) {
    if (asking_) {  // the open question first
      event->ignore();
      return;
    }
    asking_ = true;
    const bool end = QMessageBox::question(this, text(name_),
                                           tr("The program is still running.\nEnd it?")) ==
                     QMessageBox::Yes;
    asking_ = false;
    if (!end) {
      event->ignore();
      // The program finished while the question was open: now its own question.
      if (finished_) QTimer::singleShot(0, this, &FrameWindow::ask_to_close);
      return;
    }
  }
  event->accept();
  // A program that finished before the user confirmed ending it ends with its own code.
  if (finished_) {
    QApplication::exit(exit_code_);
    return;
  }
  rtl::remove_pending_files();
  QApplication::exit(kClosedExitCode);
}

std::vector<std::string> FrameWindow::child_titles() const {
  std::vector<std::string> titles;
  for (const Child& c : children_) titles.push_back(c.window->windowTitle().toStdString());
  return titles;
}

const FrameWindow::Child* FrameWindow::front_child() const {
  const QMdiSubWindow* active = mdi_->activeSubWindow();
  if (active == nullptr) active = mdi_->currentSubWindow();
  for (const Child& c : children_)
    if (c.window == active) return &c;
  return nullptr;
}

std::string FrameWindow::front_title() const {
  const Child* c = front_child();
  return c != nullptr ? c->window->windowTitle().toStdString() : std::string();
}

void FrameWindow::save_picture() {
  const Child* c = front_child();
  if (c == nullptr) return;
  const QString file = QFileDialog::getSaveFileName(this, tr("Save picture"), tr("picture.png"),
                                                    tr("PNG images (*.png)"));
  if (file.isEmpty()) return;
  QImage picture;
  {
    std::lock_guard<SurfaceLock> lock(surface_mutex());
    picture = c->unit->surface.image().copy();
  }
  if (!picture.save(file, "PNG"))
    QMessageBox::warning(this, text(name_), tr("The picture could not be saved to %1.").arg(file));
}

void FrameWindow::record_film() {
  const Child* c = front_child();
  if (c == nullptr) return;
  const int unit = c->unit->number;
  // A film that cannot be opened or finished is told here, not the end of
  // the program: the user chose the file.
  const rtl::ScopedHooks to_caller(rtl::Hooks{.fatal_errors = rtl::FatalErrors::kToCaller});
  try {
    if (!film_path(unit).empty()) {
      const std::string path = end_film(unit);
      statusBar()->showMessage(tr("Film written to %1").arg(QString::fromStdString(path)), 5000);
      return;
    }
    const QString file = QFileDialog::getSaveFileName(
        this, tr("Record film"), tr("film.mp4"), tr("Films (*.mp4 *.gif *.webm)"));
    if (file.isEmpty()) return;
    start_film(unit, file.toStdString(), 30);
  } catch (const rtl::FatalError& e) {
    QMessageBox::warning(this, text(name_), QString::fromUtf8(e.what()));
  }
}

void FrameWindow::copy_picture() {
  const Child* c = front_child();
  if (c == nullptr) return;
  QImage picture;
  {
    std::lock_guard<SurfaceLock> lock(surface_mutex());
    picture = c->unit->surface.image().copy();
  }
  QApplication::clipboard()->setImage(picture);
}

void FrameWindow::copy_console_text() {
  QApplication::clipboard()->setText(text(console_text()));
}

void FrameWindow::update_window_menu() {
  window_menu_->clear();
  window_menu_->addAction(tile_action_);
  window_menu_->addAction(cascade_action_);
  window_menu_->addSeparator();
  const Child* front = front_child();
  for (const Child& c : children_) {
    QAction* action = window_menu_->addAction(c.window->windowTitle());
    action->setCheckable(true);
    action->setChecked(&c == front);
    QMdiSubWindow* window = c.window;
    connect(action, &QAction::triggered, this, [this, window] { mdi_->setActiveSubWindow(window); });
  }
}

void FrameWindow::about() {
  QMessageBox::about(this, tr("About %1").arg(text(name_)),
                     tr("%1\n\nThe console window shows the program's line output and takes its "
                        "input; each graphics window shows one unit's drawing.")
                         .arg(text(name_)));
}

}  // namespace gfxwin
