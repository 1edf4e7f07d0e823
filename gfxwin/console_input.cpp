#include "gfxwin/console_input.h"

#include <utility>

#include "gfxwin/unit.h"

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
    typing_.pop_back();
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

std::string ConsoleInput::read_line() {
  std::unique_lock<std::mutex> lock(mutex_);
  completed_.wait(lock, [this] { return !lines_.empty(); });
  std::string line = std::move(lines_.front());
  lines_.pop_front();
  return line;
}

}  // namespace gfxwin
