#pragma once
// The windowing runtime: a frame window with a console window and one
// graphics window per opened unit, and the program's main routine running
// on a worker thread of its own.
//
// run_program creates the application and the frame window (captioned with
// the program's name) holding the console window (unit 0), then runs
// `main_routine` on a worker thread while the first thread runs the event
// loop. Console records (rtl::console_write_line) also appear in the console
// window; read_console_line waits for a line typed there or a line of
// standard input (without a display only the latter can come, and the end of
// input counts as Enter; with one, the end of input alone does not, since a
// program started from a desktop has no input); every operation of
// graphics.h completes before it returns, and the windows are repainted from
// their surfaces once per refresh of the screen.
//
// Animation pacing: on a display, activating a unit whose window has not yet
// shown everything drawn on it waits until it has (at most one picture a
// refresh), so every frame of an animation that activates its unit once a
// frame, as the screen map does, reaches the screen; the zoom then takes a
// few seconds. Without a display nothing waits. MAPPLOT_NO_PACING set to a
// value other than "" or "0" turns the waiting off on a display too.
//
// The frame window's menu Run holds Pause (Ctrl+P) and Continue (Ctrl+R):
// Pause holds the program at its next console or graphics operation until
// Continue (a console line then is on standard output already and reaches
// the console window after Continue); the caption is marked "[paused]" and
// the status bar says "Paused" meanwhile, and the menus still save, copy
// and enlarge the pictures, and the values under the mouse can be read.
//
// When the routine returns, the frame window's caption is marked
// "[finished]" and a message box shows the exit code and asks whether to
// close the window; the windows stay until the user closes them. One
// question is open at a time: when the routine returns while the user is
// asked whether to end it, Yes ends the program with the routine's exit code
// and No brings the question whether to close. Nobody is asked (the program
// simply ends with the routine's exit code) when
//   - there is no display (neither DISPLAY nor WAYLAND_DISPLAY set and no
//     QT_QPA_PLATFORM chosen): the program then runs on Qt's offscreen
//     platform and draws as usual;
//   - QT_QPA_PLATFORM names the offscreen (or minimal) platform;
//   - MAPPLOT_NO_ASK is set to a value other than "" or "0" (tests on a
//     real display; pacing stays on); MAPPLOT_EXIT_DELAY_MS=<milliseconds>
//     then keeps the finished windows shown that long before the program
//     ends.
// Fatal errors (rtl/fatal.h), exhausted storage in the routine and any
// other exception that leaves it (reported with its what() text) among them,
// are shown in a message box when somebody can answer it, then end the
// program with rtl::kFatalExitCode. Closing the
// frame window while the routine still runs asks first (when somebody can
// answer), then ends the program with kClosedExitCode.
//
// Standard error carries the program's own messages only: Qt's messages are
// dropped. When the window system fails (the display's connection breaks,
// or the platform cannot start) the program ends at once with
// rtl::kFatalExitCode after one line "window system: <reason>" on standard
// error, unfinished files removed.
//
// Requires: no Qt application exists yet; called from the program's first
// thread; one run at a time.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace gfxwin {

// Exit code of a program whose frame window was closed while it ran.
inline constexpr int kClosedExitCode = 2;

// Returns the exit code: the routine's, unless the program ended otherwise.
// A fatal error or a close while running end the process from here with
// their exit code (the worker thread cannot be unwound), every output written
// out first (rtl::flush_program_output).
int run_program(int argc, char** argv, std::string_view program_name,
                std::function<int()> main_routine);

// Whether run_program is running.
bool runtime_running();

// For exit() called while run_program runs, from another thread than the one
// running the windows (a Fortran STOP in the routine): ends the process at
// once with `status`, every output written out first, and does not return,
// so that no static object is destroyed under the running threads. Returns
// at once in any other case. The caller is an exit() of the program's own
// that runs before the functions registered with atexit (the Fortran
// module's).
void end_process_if_exit_off_gui_thread(int status);

}  // namespace gfxwin
