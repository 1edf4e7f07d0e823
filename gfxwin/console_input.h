#pragma once
// ConsoleInput: the lines typed into the console window.
//
// The window passes keys in (GUI thread); the characters are echoed at the
// console's text cursor, and Enter completes the line. read_line (worker
// thread) waits for a completed line and takes it; lines completed before a
// read are kept for it. A line of standard input completes a read too.

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

  // Waits for a line completed in the window or for a line on `input` (a
  // descriptor, -1 for none; read a byte at a time, so that nothing after
  // the line is taken from it, and only while a read waits), and returns it.
  // The end of `input` completes the read with what came before it when
  // `end_is_enter` (nobody can type in the window), else the read goes on
  // waiting for the window (a program started from a desktop has no input).
  // Bytes of a line of `input` not yet complete when a window line completes
  // the read are kept: they begin the next line read from `input`.
  std::string read_line(int input = -1, bool end_is_enter = false);

 private:
  std::mutex mutex_;
  std::condition_variable completed_;
  std::string typing_;
  std::deque<std::string> lines_;
  std::string partial_input_;  // read from the input, its line not complete yet
};

}  // namespace gfxwin
