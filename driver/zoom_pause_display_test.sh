#!/bin/bash
# Pause and Continue in the zoom's frame window, as a user does them: Ctrl+P
# holds the zoom (no more progress lines, the picture on the screen stands
# still, the caption says so) and the picture can be saved meanwhile;
# Ctrl+R lets it run to its last frame.
# Usage: zoom_pause_display_test.sh <mandel_zoom>; run on a virtual display
# with a window manager (cmake/on_virtual_display.sh).
set -u
zoom="$1"
source "$(dirname "$0")/../cmake/display_test_support.sh"
start_display_test

lines() { grep -c 'Ray =' "$work/out.txt"; }
some_frames() { [ "$(lines)" -ge 20 ]; }
saved() { [ -s "$work/frame.png" ]; }
ended() { ! kill -0 "$pid" 2> /dev/null; }

MAPPLOT_NO_ASK=1 "$zoom" > "$work/out.txt" 2> "$work/err.txt" &
pid=$!
await some_frames || fail "the zoom did not start"
frame=$(xdotool search --onlyvisible --name '^mandel_zoom$' | head -1)
[ -n "$frame" ] || fail "no frame window"

press_until_caption ctrl+p "mandel_zoom [paused]" ||
  fail "Ctrl+P did not pause: $(xdotool getwindowname "$frame")"
sleep 0.3
held=$(lines)
import -window root "$work/first.png"
sleep 1.5
import -window root "$work/second.png"
[ "$(lines)" -eq "$held" ] || fail "the zoom went on while paused: $held, then $(lines) lines"
[ "$held" -lt 350 ] || fail "the zoom finished before the pause"
changed=$(compare -metric AE "$work/first.png" "$work/second.png" null: 2>&1)
[ "$changed" = 0 ] || fail "the screen changed while paused ($changed pixels)"

# File > Save picture (Ctrl+S) while paused: the dialog's file name field
# takes the new name.
xdotool key ctrl+s
sleep 1
xdotool key ctrl+a type "$work/frame.png"
xdotool key Return
await saved || fail "the picture was not saved while paused"
size=$(identify -format '%wx%h' "$work/frame.png")
[ "$size" = 1005x663 ] || fail "the saved picture is $size"

press_until_caption ctrl+r "mandel_zoom" || fail "Ctrl+R did not continue"
for _ in $(seq 1 6); do await ended && break; done
ended || fail "the zoom did not end after Continue"
wait "$pid"
code=$?
pid=
echo "paused at $held lines; exit code $code, $(lines) lines"
[ "$code" -eq 0 ] || fail "the zoom ended with $code"
[ "$(lines)" -eq 350 ] || fail "$(lines) progress lines"
[ -s "$work/err.txt" ] && fail "standard error: $(cat "$work/err.txt")"
echo "PASS"
