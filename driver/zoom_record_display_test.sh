#!/bin/bash
# File > Record... in the zoom's frame window, as a user does it: while the
# zoom is paused, Record... takes a film name and starts a film of the front
# window; Stop Recording, later, writes it: a looping GIF of the window's
# pictures at their own size, holding the frames painted in between.
# Usage: zoom_record_display_test.sh <mandel_zoom>; run on a virtual display
# with a window manager (cmake/on_virtual_display.sh).
set -u
zoom="$1"
source "$(dirname "$0")/../cmake/display_test_support.sh"
start_display_test

lines() { grep -c 'Ray =' "$work/out.txt"; }
some_frames() { [ "$(lines)" -ge 20 ]; }
more_frames() { [ "$(lines)" -ge $((held + 30)) ]; }
written() { [ -s "$work/film.gif" ]; }
ended() { ! kill -0 "$pid" 2> /dev/null; }

MAPPLOT_NO_ASK=1 "$zoom" > "$work/out.txt" 2> "$work/err.txt" &
pid=$!
await some_frames || fail "the zoom did not start"
frame=$(xdotool search --onlyvisible --name '^mandel_zoom$' | head -1)
[ -n "$frame" ] || fail "no frame window"

# Paused, so that the film begins where the user chose.
press_until_caption ctrl+p "mandel_zoom [paused]" || fail "Ctrl+P did not pause"
held=$(lines)
xdotool key alt+f
sleep 0.5
xdotool key r
sleep 1
xdotool key ctrl+a type "$work/film.gif"
xdotool key Return
sleep 0.5
press_until_caption ctrl+r "mandel_zoom" || fail "Ctrl+R did not continue"
await more_frames || fail "the zoom did not go on"
press_until_caption ctrl+p "mandel_zoom [paused]" || fail "Ctrl+P did not pause again"
[ -e "$work/film.gif" ] && fail "the film is on disk before it is stopped"
stopped=$(lines)
xdotool key alt+f
sleep 0.5
xdotool key r
await written || fail "Stop Recording wrote no film"
press_until_caption ctrl+r "mandel_zoom" || fail "Ctrl+R did not continue"
for _ in $(seq 1 6); do await ended && break; done
ended || fail "the zoom did not end"
wait "$pid"
code=$?
pid=
[ "$code" -eq 0 ] || fail "the zoom ended with $code"
[ -s "$work/err.txt" ] && fail "standard error: $(cat "$work/err.txt")"

frames=$(identify -format '%wx%h\n' "$work/film.gif" | sort | uniq -c | sed 's/^ *//')
count=${frames%% *}
echo "recorded from line $held to $stopped: $frames"
[ "${frames#* }" = 1005x663 ] || fail "frames of $frames"
# Every picture painted while the film ran, and none after.
[ "$count" -ge $((stopped - held)) ] && [ "$count" -le $((stopped - held + 1)) ] ||
  fail "$count frames for $((stopped - held)) pictures"
echo "PASS"
