#!/bin/bash
# Every frame of an animation on the screen: runs the GoogleTest program
# <gfxwin_pacing_display_test>, which looks at the X server's pixels itself.
# Usage: pacing_display_test.sh <gfxwin_pacing_display_test>; run on a
# virtual display with a window manager (cmake/on_virtual_display.sh).
exec "$1"
