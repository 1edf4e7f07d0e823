#pragma once
// The zoom's main program, as a library function so that a runtime can start it
// on a thread of its own.

namespace driver {

// Runs the 350 frames: for each, fills the grid with the fast kernel, writes the
// progress line "k  Ray = r" to the console and hands the frame to the screen
// map. The grid is allocated once, before the first frame. Returns the exit code 0.
int run_zoom();

}  // namespace driver
