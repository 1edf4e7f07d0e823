#include "gfxwin/console_input.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace gfxwin {
namespace {

// A pipe standing for standard input.
struct Input {
  int fds[2] = {-1, -1};
  Input() { EXPECT_EQ(pipe(fds), 0); }
  ~Input() {
    for (int fd : fds)
      if (fd >= 0) close(fd);
  }
  void send(const std::string& bytes) { EXPECT_EQ(write(fds[1], bytes.data(), bytes.size()), ssize_t(bytes.size())); }
  void end() {
    close(fds[1]);
    fds[1] = -1;
  }
  std::string rest() {
    end();
    std::string out;
    char c;
    while (read(fds[0], &c, 1) == 1) out += c;
    return out;
  }
};

TEST(ConsoleInput, ALineOfInputCompletesTheReadAndNothingAfterItIsTaken) {
  Input in;
  in.send("first\nsecond\n");
  ConsoleInput console;
  EXPECT_EQ(console.read_line(in.fds[0], false), "first");
  EXPECT_EQ(in.rest(), "second\n");
}

TEST(ConsoleInput, TheEndOfInputIsEnterOnlyWhenNobodyCanType) {
  {
    Input in;
    in.send("half");
    in.end();
    ConsoleInput console;
    EXPECT_EQ(console.read_line(in.fds[0], true), "half");
  }
  // With a window to type in, the end of input alone does not complete the
  // read: the line typed there does.
  Input in;
  in.end();
  ConsoleInput console;
  std::thread typist([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    console.type("typed");
    console.enter();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(console.read_line(in.fds[0], false), "typed");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
  typist.join();
}

// A line typed in the window may complete a read while a line of input is
// half read: its bytes begin the next line read from the input.
TEST(ConsoleInput, APartlyReadLineOfInputIsKeptForTheNextRead) {
  Input in;
  in.send("par");
  ConsoleInput console;
  std::thread typist([&] {
    int unread = 1;  // the window's line comes once the reader has taken "par"
    while (ioctl(in.fds[0], FIONREAD, &unread) == 0 && unread > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    console.type("typed");
    console.enter();
  });
  EXPECT_EQ(console.read_line(in.fds[0], false), "typed");
  typist.join();
  in.send("tial\nnext\n");
  EXPECT_EQ(console.read_line(in.fds[0], false), "partial");
  EXPECT_EQ(console.read_line(in.fds[0], false), "next");
}

// Typed text is UTF-8: a backspace takes back a whole character.
TEST(ConsoleInput, BackspaceTakesBackAWholeCharacter) {
  ConsoleInput console;
  console.type("a\xC3\xA9");  // "aé"
  console.backspace();
  console.type("b");
  console.enter();
  EXPECT_EQ(console.read_line(-1, false), "ab");
}

}  // namespace
}  // namespace gfxwin
