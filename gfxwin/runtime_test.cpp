#include "gfxwin/runtime.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "gfxwin/graphics.h"
#include "gfxwin/runtime_testing.h"
#include "rtl/console.h"
#include "rtl/fatal.h"
#include "rtl/safe_file.h"
#include "rtl/testing/temp_folder.h"

namespace gfxwin {
namespace {

// The whole runtime on the offscreen platform: the routine runs on a worker
// thread, opens two units and draws into each, writes console lines and
// waits for a line typed into the console window.
TEST(Runtime, RoutineOnTheWorkerWithTwoWindowsAndTheConsole) {
  char name[] = "runtime_test";
  char* argv[] = {name, nullptr};
  std::vector<std::string> titles;
  std::string front;
  std::string frame;
  std::atomic<bool> line_read{false};
  std::thread::id worker_id;

  // Standard input stays open and silent: only the console window gives the line.
  int input[2];
  ASSERT_EQ(pipe(input), 0);
  const int saved_stdin = dup(0);
  dup2(input[0], 0);

  testing::internal::CaptureStdout();
  const int code = run_program(1, argv, "runtime_test", [&] {
    worker_id = std::this_thread::get_id();
    rtl::console_write_line(" first line");
    open_unit(1, "USER", "One", "UNKNOWN");
    open_unit(2, "USER", "Two", "UNKNOWN");
    activate_unit(1);
    set_color_index(12);
    rectangle(kFillInterior, 10, 10, 20, 20);
    activate_unit(2);
    set_rgb_color(0x00FF00);
    set_window_coords(true, 0, 0, 1004, 662);
    rectangle_w(kFillInterior, 0, 0, 5, 5);
    titles = child_window_titles();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the front window follows
    front = front_window_title();
    frame = frame_window_title();

    std::thread typist([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      feed_console_line("typed");
    });
    read_console_line();
    line_read = true;
    typist.join();
    rtl::console_write_line(" last line");
    return 3;
  });
  const std::string out = testing::internal::GetCapturedStdout();
  dup2(saved_stdin, 0);
  close(saved_stdin);
  close(input[0]);
  close(input[1]);

  EXPECT_EQ(code, 3);  // no display: the routine's code, nobody asked
  EXPECT_NE(worker_id, std::this_thread::get_id());
  EXPECT_TRUE(line_read);
  EXPECT_EQ(titles, (std::vector<std::string>{"Console", "One", "Two"}));
  EXPECT_EQ(front, "Two");
  EXPECT_EQ(frame, "runtime_test");
  EXPECT_NE(out.find(" first line\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" last line\n"), std::string::npos) << out;
  EXPECT_EQ(console_text(), " first line\ntyped\n last line\n");

  Picture one, two;
  ASSERT_TRUE(snapshot(1, one));
  ASSERT_TRUE(snapshot(2, two));
  EXPECT_EQ(one.at(10, 10), 0xFF0000u);
  EXPECT_EQ(one.at(20, 20), 0xFF0000u);
  EXPECT_EQ(one.at(21, 20), 0x000000u);
  EXPECT_EQ(two.at(0, 662), 0x00FF00u);  // y upwards: (0, 0) at the bottom left
  EXPECT_EQ(two.at(5, 657), 0x00FF00u);
  EXPECT_EQ(two.at(10, 10), 0x000000u);
  EXPECT_FALSE(runtime_running());
}

// The two ways a program ends from under its worker thread, each in a child
// process. A file the program had not finished is removed either way, and an
// earlier file of that name is kept.
class RuntimeExit : public rtl::testing::InTempFolder {
 protected:
  void SetUp() override {
    InTempFolder::SetUp();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    rtl::testing::write_all("map.ps", "earlier map\n");
  }

  // The routine starts a file it never finishes, then `ends` the program.
  static int run_until(void (*ends)()) {
    char name[] = "runtime_test";
    char* argv[] = {name, nullptr};
    return run_program(1, argv, "runtime_test", [ends] {
      rtl::PendingFile unfinished("map.ps");
      rtl::console_write_line(" working");
      ends();
      return 0;
    });
  }

  void expect_only_the_earlier_file() {
    EXPECT_EQ(entries(), std::vector<std::string>{"map.ps"});
    EXPECT_EQ(rtl::testing::read_all(dir_ / "map.ps"), "earlier map\n");
  }
};

TEST_F(RuntimeExit, FatalErrorOnTheWorkerEndsWithCode1AndItsMessage) {
  EXPECT_EXIT(run_until([] { rtl::fatal_error("Out of storage for the grid"); }),
              testing::ExitedWithCode(1), "Out of storage for the grid");
  expect_only_the_earlier_file();
}

// An exception that leaves the routine ends the program like a fatal error.
TEST_F(RuntimeExit, AnExceptionFromTheRoutineEndsWithCode1AndItsText) {
  EXPECT_EXIT(run_until([] { throw std::runtime_error("grid file unreadable"); }),
              testing::ExitedWithCode(1), "^grid file unreadable\n$");
  expect_only_the_earlier_file();
  EXPECT_EXIT(run_until([] { throw 42; }), testing::ExitedWithCode(1), "^Unknown exception\n$");
  expect_only_the_earlier_file();
}

TEST_F(RuntimeExit, ClosingTheFrameWindowWhileRunningEndsWithCode2) {
  EXPECT_EXIT(run_until([] {
                request_close();
                for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
              }),
              testing::ExitedWithCode(kClosedExitCode), "");
  expect_only_the_earlier_file();
}

// Qt's own messages are dropped, but a window system that cannot start is
// the program's failure: its reason, in a line of the program's own.
TEST_F(RuntimeExit, AWindowSystemThatCannotStartEndsWithCode1AndItsReason) {
  EXPECT_EXIT(
      {
        setenv("QT_QPA_PLATFORM", "no-such-platform", 1);
        run_until([] {});
      },
      testing::ExitedWithCode(1),
      "^window system: Could not find the Qt platform plugin \"no-such-platform\"[^\n]*\n$");
  expect_only_the_earlier_file();
}

// Without a display nobody can type in the console window: a line of
// standard input, or its end (prog < /dev/null), completes the read.
[[noreturn]] void read_a_line_from(bool a_line) {
  if (a_line) {
    int fds[2];
    if (pipe(fds) != 0 || write(fds[1], "yes\n", 4) != 4) std::abort();
    dup2(fds[0], 0);  // the writing end stays open: no end of input
  } else {
    dup2(open("/dev/null", O_RDONLY), 0);
  }
  char name[] = "runtime_test";
  char* argv[] = {name, nullptr};
  std::exit(run_program(1, argv, "runtime_test", [] {
    read_console_line();
    return 4;
  }));
}

TEST_F(RuntimeExit, WithoutADisplayStandardInputGivesTheConsoleLine) {
  EXPECT_EXIT(read_a_line_from(true), testing::ExitedWithCode(4), "");
  EXPECT_EXIT(read_a_line_from(false), testing::ExitedWithCode(4), "");
}

}  // namespace
}  // namespace gfxwin
