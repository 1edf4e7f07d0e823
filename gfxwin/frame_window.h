#pragma once
// FrameWindow: the program's frame window.
//
// A multiple-document area holding the console window and one graphics
// window per unit, each showing its unit's surface; menus File (save the
// front window's picture, exit), Edit (copy the picture or the console
// text), Run (pause and continue the program), Window (tile, cascade, the
// list of windows) and Help. A timer, once per refresh of the screen,
// repaints the windows whose surfaces changed and tells the program's
// thread that their pictures are shown. All of it lives on the GUI thread.

#include <QMainWindow>

#include <memory>
#include <string>
#include <vector>

#include "gfxwin/unit.h"

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTimer;

namespace gfxwin {

class ConsoleInput;
class SurfaceView;

class FrameWindow : public QMainWindow {
 public:
  // `interactive`: somebody can answer questions (there is a display and
  // asking is not switched off).
  FrameWindow(const std::string& program_name, ConsoleInput* input, bool interactive);

  // A child window for the unit, showing its surface.
  void add_unit(const std::shared_ptr<Unit>& unit);
  void bring_to_front(int unit);
  // Closes every graphics window, keeping the console window.
  void remove_graphics_units();

  // The routine returned `exit_code`: marks the caption and, when somebody
  // can answer, asks whether to close (after the question already open, if
  // any); otherwise ends the event loop.
  void program_finished(int exit_code);

  std::vector<std::string> child_titles() const;
  // What the status bar says.
  std::string status_text() const { return status_; }
  std::string front_title() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Child {
    std::shared_ptr<Unit> unit;
    QMdiSubWindow* window;
    SurfaceView* view;
  };

  void createActions();
  void createMenus();
  void createRepaintTimer();
  void createStatusBar();
  // Sets the zoom of the front window (step -1 or +1, or 0 for actual size).
  void zoom_front(int step);
  void zoom_view(const Child& child, int factor);
  void update_status();
  void present_pictures();
  void pause_program(bool paused);
  void update_caption();
  // Asks whether to close the finished program's window.
  void ask_to_close();
  const Child* front_child() const;
  void save_picture();
  // Starts a film of the front window, or stops the one it has.
  void record_film();
  void copy_picture();
  void copy_console_text();
  void update_window_menu();
  void about();

  std::string name_;
  ConsoleInput* input_;
  bool interactive_;
  bool finished_ = false;
  int exit_code_ = 0;
  bool asking_ = false;  // a question is open: one at a time
  std::string readout_;  // the values under the mouse, "" off every map
  std::string status_;   // what the status bar says
  bool status_to_stderr_ = false;
  QLabel* status_label_ = nullptr;
  QMdiArea* mdi_;
  QMenu* window_menu_ = nullptr;
  QTimer* repaint_timer_ = nullptr;
  std::vector<Child> children_;
  QAction* save_action_ = nullptr;
  QAction* record_action_ = nullptr;
  QAction* exit_action_ = nullptr;
  QAction* copy_picture_action_ = nullptr;
  QAction* copy_text_action_ = nullptr;
  QAction* zoom_in_action_ = nullptr;
  QAction* zoom_out_action_ = nullptr;
  QAction* actual_size_action_ = nullptr;
  QAction* pause_action_ = nullptr;
  QAction* continue_action_ = nullptr;
  QAction* tile_action_ = nullptr;
  QAction* cascade_action_ = nullptr;
  QAction* about_action_ = nullptr;
};

}  // namespace gfxwin
