#include "gfxwin/runtime.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QString>
#include <QThread>
#include <QTimer>
#include <QtGlobal>

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "gfxwin/console_input.h"
#include "gfxwin/frame_window.h"
#include "gfxwin/graphics.h"
#include "gfxwin/runtime_testing.h"
#include "gfxwin/unit.h"
#include "rtl/console.h"
#include "rtl/fatal.h"
#include "rtl/pending_files.h"

namespace gfxwin {
namespace {

// What the worker thread and the test hooks reach while run_program runs.
struct Runtime {
  FrameWindow* frame = nullptr;
  ConsoleInput input;
  bool interactive = false;  // somebody can answer questions
  bool headless = false;     // no display: nobody can type in a window
  bool paced = false;        // activating a unit waits until its picture is shown
};

std::atomic<Runtime*> running{nullptr};

bool on_gui_thread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

// Runs `f` on the GUI thread and returns when it is done.
template <class F>
void on_gui_and_wait(Runtime& rt, F f) {
  if (on_gui_thread())
    f();
  else
    QMetaObject::invokeMethod(rt.frame, std::move(f), Qt::BlockingQueuedConnection);
}

// Runs `f` on the GUI thread later; the caller goes on at once.
template <class F>
void on_gui_later(Runtime& rt, F f) {
  QMetaObject::invokeMethod(rt.frame, std::move(f), Qt::QueuedConnection);
}

bool env_set(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0';
}

bool env_true(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' && std::strcmp(v, "0") != 0;
}

// While the routine runs, exit() called from another thread than the one
// running the windows ends the process at once (end_process_if_exit_off_gui_thread).
std::atomic<bool> exit_ends_at_once{false};
pthread_t gui_thread;

// The window system failed under the running program: the reason on
// standard error, unfinished files removed, the process ended at once (the
// worker thread cannot be unwound, nor may it draw while the process's
// static objects are destroyed).
[[noreturn]] void window_system_failed(const std::string& reason) {
  std::fflush(stdout);
  std::fprintf(stderr, "window system: %s\n", reason.c_str());
  rtl::remove_pending_files();
  rtl::end_process(rtl::kFatalExitCode);
}

// Qt's messages are not the program's: they are dropped. Two kinds end the
// program instead of Qt: a connection to the display that broke (Qt would
// call exit() under the running routine) and a fatal message (abort()).
// For a platform that cannot start, the first of its complaints tells why
// ("could not connect to display :7").
struct QtMessages {
  std::mutex mutex;
  bool starting = false;
  std::string start_complaint;
};

QtMessages& qt_messages() {
  static QtMessages* m = new QtMessages;  // other threads may still report at exit
  return *m;
}

void qt_message(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QLatin1String("connection broke")))
    window_system_failed("the connection to the display broke");
  QtMessages& m = qt_messages();
  std::string reason;
  {
    std::lock_guard<std::mutex> lock(m.mutex);
    const bool platform = context.category != nullptr &&
                          std::strncmp(context.category, "qt.qpa", 6) == 0;
    if (m.starting && platform && m.start_complaint.empty())
      m.start_complaint = message.toStdString();
    if (type != QtFatalMsg) return;
    reason = m.start_complaint.empty() ? message.section(QLatin1Char('\n'), 0, 0).toStdString()
                                       : m.start_complaint;
  }
  window_system_failed(reason);
}

// Qt's messages go to qt_message while it lives.
class QtMessagesDropped {
 public:
  QtMessagesDropped() : previous_(qInstallMessageHandler(qt_message)) { starting(true); }
  ~QtMessagesDropped() { qInstallMessageHandler(previous_); }
  static void starting(bool on) {
    std::lock_guard<std::mutex> lock(qt_messages().mutex);
    qt_messages().starting = on;
  }

 private:
  QtMessageHandler previous_;
};

void install(Runtime& rt) {
  WindowHost host;
  host.opened = [&rt](const std::shared_ptr<Unit>& unit) {
    on_gui_and_wait(rt, [&rt, unit] { rt.frame->add_unit(unit); });
  };
  // A later picture of the unit waits until the last one has been on the
  // screen, so that a person sees every frame of an animation.
  host.activated = [&rt](const std::shared_ptr<Unit>& unit) {
    if (rt.paced) wait_until_shown(*unit);
    const int number = unit->number;
    on_gui_later(rt, [&rt, number] { rt.frame->bring_to_front(number); });
  };
  host.reset = [&rt] { on_gui_and_wait(rt, [&rt] { rt.frame->remove_graphics_units(); }); };
  // A line typed in the console window or on standard input; without a
  // display nobody can type in the window, and the end of input is Enter.
  host.wait_for_console_line = [&rt] { rt.input.read_line(STDIN_FILENO, rt.headless); };
  set_window_host(std::move(host));

  rtl::change_hooks([&rt](rtl::Hooks& h) {
    h.console_listener = [](std::string_view record) {
      hold_while_paused();
      console_record(record);
    };
    h.fatal_reporter = [&rt](std::string_view message) {
      if (!rt.interactive) return;  // standard error has it; nobody could answer a box
      const QString text =
          QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
      on_gui_and_wait(rt, [&rt, text] {
        QMessageBox::critical(rt.frame, rt.frame->windowTitle(), text);
      });
    };
    h.fatal_exit = [&rt](int code) {
      if (on_gui_thread()) rtl::end_process(code);
      // The first thread ends the process once its event loop is down.
      on_gui_later(rt, [code] { QApplication::exit(code); });
      for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    };
  });
}

void uninstall() {
  set_window_host({});
  rtl::change_hooks([](rtl::Hooks& h) {
    h.console_listener = {};
    h.fatal_reporter = {};
    h.fatal_exit = {};
  });
}

}  // namespace

int run_program(int argc, char** argv, std::string_view program_name,
                std::function<int()> main_routine) {
  // No display and no platform chosen: Qt's offscreen platform.
  if (!env_set("QT_QPA_PLATFORM") && !env_set("DISPLAY") && !env_set("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);

  const QtMessagesDropped dropped;  // from before the application to after it
  int qt_argc = argc;
  QApplication app(qt_argc, argv);
  QtMessagesDropped::starting(false);
  QApplication::setQuitOnLastWindowClosed(false);
  const QString platform = QGuiApplication::platformName();
  const bool headless = platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");

  Runtime rt;
  rt.headless = headless;
  rt.interactive = !headless && !env_true("MAPPLOT_NO_ASK");
  rt.paced = !headless && !env_true("MAPPLOT_NO_PACING");
  auto frame = std::make_unique<FrameWindow>(std::string(program_name), &rt.input, rt.interactive);
  rt.frame = frame.get();
  install(rt);
  running = &rt;

  // The console unit's window; its surface may already hold drawings.
  for (const auto& unit : all_units())
    if (unit->number == kConsoleUnit) frame->add_unit(unit);
  frame->show();

  std::thread worker;
  std::atomic<bool> returned{false};
  QTimer::singleShot(0, frame.get(), [&] {
    gui_thread = pthread_self();
    exit_ends_at_once = true;
    worker = std::thread([&] {
      int code = 0;
      try {
        code = main_routine();
      } catch (...) {  // nothing may leave the worker thread
        rtl::fatal_from_exception();
      }
      returned = true;
      on_gui_later(rt, [&rt, code] { rt.frame->program_finished(code); });
    });
  });

  const int exit_code = QApplication::exec();
  if (!returned) rtl::end_process(exit_code);  // the worker is stopped where it is
  worker.join();
  exit_ends_at_once = false;

  running = nullptr;
  uninstall();
  frame.reset();
  return exit_code;
}

bool runtime_running() { return running.load() != nullptr; }

void end_process_if_exit_off_gui_thread(int status) {
  if (exit_ends_at_once && !pthread_equal(pthread_self(), gui_thread)) rtl::end_process(status);
}

bool feed_console_line(std::string_view line) {
  Runtime* rt = running.load();
  if (rt == nullptr) return false;
  rt->input.type(line);
  rt->input.enter();
  return true;
}

std::vector<std::string> child_window_titles() {
  Runtime* rt = running.load();
  std::vector<std::string> titles;
  if (rt != nullptr) on_gui_and_wait(*rt, [&] { titles = rt->frame->child_titles(); });
  return titles;
}

std::string front_window_title() {
  Runtime* rt = running.load();
  std::string title;
  if (rt != nullptr) on_gui_and_wait(*rt, [&] { title = rt->frame->front_title(); });
  return title;
}

std::string frame_window_title() {
  Runtime* rt = running.load();
  std::string title;
  if (rt != nullptr)
    on_gui_and_wait(*rt, [&] { title = rt->frame->windowTitle().toStdString(); });
  return title;
}

void request_close() {
  Runtime* rt = running.load();
  if (rt != nullptr) on_gui_later(*rt, [rt] { rt->frame->close(); });
}

}  // namespace gfxwin
