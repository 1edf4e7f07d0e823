#!/bin/bash
# The end of a program on a display, as a user meets it: the user closes the
# frame window (Alt+F4) while the routine still runs, and the routine
# returns while the question "still running, end it?" is open. Only that
# question stays open; Yes then ends the program with the routine's exit
# code, and No leaves the window up with the question whether to close it.
# Usage: end_question_display_test.sh <gfxwin_demo>; run on a virtual display
# with a window manager (cmake/on_virtual_display.sh).
set -u
demo="$1"
source "$(dirname "$0")/../cmake/display_test_support.sh"
start_display_test

# The visible windows captioned exactly "gfxwin_demo" (the frame window while
# the routine runs, and the message boxes), one id a line.
named_windows() { xdotool search --onlyvisible --name '^gfxwin_demo$' 2> /dev/null; }
boxes() { named_windows | grep -vx "$frame"; }
box_count() { boxes | grep -c .; }
one_box() { [ "$(box_count)" -eq 1 ]; }
frame_shown() {
  xdotool search --onlyvisible --name '^gfxwin_demo \[finished\]$' | grep -qx "$frame"
}
ended() { ! kill -0 "$pid" 2> /dev/null; }

# Runs the demo (its routine returns 3 s after drawing), closes its frame
# window while the routine runs, and waits until the routine has returned
# with the question still open.
close_while_running() {
  GFXWIN_DEMO_HOLD=3 "$demo" > "$work/out.txt" 2> "$work/err.txt" &
  pid=$!
  await eval 'grep -q "gfxwin demo: drawn" "$work/out.txt"' || fail "the demo did not draw"
  frame=$(named_windows | head -1)
  [ -n "$frame" ] || fail "no frame window"
  press_close "$frame"
  await one_box || fail "no question after closing the frame window"
  await caption_is "gfxwin_demo [finished]" || fail "the routine did not finish"
  sleep 0.5  # time for a second question to come up
  [ "$(box_count)" -eq 1 ] || fail "$(box_count) questions open at once"
}

# Presses a key in the open question.
answer() { xdotool windowactivate --sync "$(boxes | head -1)" key "$1"; }

# The program's exit code, in $code, once it has ended.
await_exit() {
  await ended || fail "the program still runs after the answer"
  wait "$pid"
  code=$?
  pid=
}

# Yes to "end it?" after the routine returned: the routine's exit code.
close_while_running
answer y
await_exit
[ "$code" -eq 0 ] || fail "Yes ended the program with $code, not the routine's 0"
[ -s "$work/err.txt" ] && fail "standard error: $(cat "$work/err.txt")"

# No: the window stays, with the question whether to close; Yes closes it.
close_while_running
answer n
sleep 0.5
ended && fail "No ended the program"
frame_shown || fail "the frame window is gone after No"
await one_box || fail "no question whether to close after No"
[ -n "${MAPPLOT_KEEP_SHOT:-}" ] && import -window root "$MAPPLOT_KEEP_SHOT"
answer y
await_exit
[ "$code" -eq 0 ] || fail "closing after No ended the program with $code"
echo "PASS"
