#pragma once
// For tests and benchmarks of the drawing surfaces (gfxwin/graphics.h).

namespace gfxwin {

// Closes every graphics unit and resets all windows to their initial state.
void reset_for_tests();

}  // namespace gfxwin
