#pragma once
// ConsoleInput: the lines typed into the console window.
//
// The window passes keys in (GUI thread); the characters are echoed at the
// console's text cursor, and Enter completes the line. read_line (worker
// thread) waits for a completed line and takes it; lines completed before a
// read are kept for it.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

namespace gfxwin {

class ConsoleInput {
 public:
  void type(std::string_view characters);
  void backspace();
  void enter();

  // Waits for a completed line and returns it.
  std::string read_line();

 private:
  std::mutex mutex_;
  std::condition_variable completed_;
  std::string typing_;
  std::deque<std::string> lines_;
};

}  // namespace gfxwin
