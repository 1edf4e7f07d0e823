#pragma once
// For tests of the windowing runtime (gfxwin/runtime.h): what a user does and
// sees, without a person at the screen.

#include <string>
#include <string_view>
#include <vector>

namespace gfxwin {

// Types the line and Enter into the console window; false without the
// runtime. Lines typed before a read are kept for it.
bool feed_console_line(std::string_view line);

// The captions of the frame window's child windows in the order they were
// opened, the console window first; empty without the runtime.
std::vector<std::string> child_window_titles();

// The caption of the child window in front ("" without the runtime).
std::string front_window_title();

// The frame window's caption ("" without the runtime).
std::string frame_window_title();

// Closes the frame window as its close button does.
void request_close();

}  // namespace gfxwin
