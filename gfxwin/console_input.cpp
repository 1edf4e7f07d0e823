#include "gfxwin/console_input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "gfxwin/unit.h"
#include "textfmt/drawn_text.h"

namespace gfxwin {

void ConsoleInput::type(std::string_view characters) {
  std::string shown;
  for (char c : characters)
    if (static_cast<unsigned char>(c) >= ' ' && c != 0x7F) shown += c;
  if (shown.empty()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    typing_ += shown;
  }
  console_echo(shown);
}

void ConsoleInput::backspace() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (typing_.empty()) return;
    textfmt::pop_character(typing_);
  }
  console_echo_erase();
}

void ConsoleInput::enter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(std::move(typing_));
    typing_.clear();
  }
  console_echo_end();
  completed_.notify_all();
}

std::string ConsoleInput::read_line(int input, bool end_is_enter) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (!lines_.empty()) {
      std::string line = std::move(lines_.front());
      lines_.pop_front();
      return line;
    }
    if (input < 0) {
      completed_.wait(lock, [this] { return !lines_.empty(); });
      continue;
    }
    // Standard input is watched in short turns, so that a line typed in the
    // window is taken at once too. The bytes of its unfinished line are
    // read_line's alone (one reader at a time) and need no lock.
    lock.unlock();
    pollfd watched{input, POLLIN, 0};
    const int ready = poll(&watched, 1, 50);
    if (ready > 0) {
      char c;
      const ssize_t n = ::read(input, &c, 1);
      if (n == 1) {
        if (c == '\n') return std::exchange(partial_input_, {});
        partial_input_ += c;
      } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        if (end_is_enter) return std::exchange(partial_input_, {});
        input = -1;  // no line will come from there
      }
    } else if (ready < 0 && errno != EINTR) {
      if (end_is_enter) return std::exchange(partial_input_, {});
      input = -1;
    }
    lock.lock();
  }
}

}  // namespace gfxwin
