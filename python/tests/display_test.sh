#!/bin/bash
# The Python zoom example in a real window on an X display: 30 frames shown by
# run_program; once the frame window's caption says "[finished]", a picture
# of the screen must show the map's magenta frame and its white cells, and
# the program must end with exit code 0.
# Usage: display_test.sh <python> <zoom.py>; run on a virtual display (cmake/on_virtual_display.sh).
set -u
source "$(dirname "$0")/../../cmake/display_test_support.sh"
python="$1"
example="$2"
shot="$(mktemp -d)"
trap 'rm -rf "$shot"' EXIT

MAPPLOT_NO_ASK=1 MAPPLOT_EXIT_DELAY_MS=4000 timeout 100 "$python" "$example" --frames 30 \
  > "$shot/out.txt" 2>&1 &
pid=$!
for _ in $(seq 1 900); do
  xdotool search --name '\[finished\]' > /dev/null 2>&1 && break
  sleep 0.1
done
sleep 0.5
screen_shot "$shot/screen.png" || { kill "$pid"; exit 1; }
wait "$pid"
code=$?
magenta=$(colour_share "$shot/screen.png" '#800080')
white=$(colour_share "$shot/screen.png" '#FFFFFF')
echo "exit code $code, magenta share $magenta, white share $white"
cat "$shot/out.txt"
[ "$code" -eq 0 ] || { echo "FAIL: the example ended with $code"; exit 1; }
awk -v m="$magenta" -v w="$white" 'BEGIN { exit !(m > 0.0005 && w > 0.002) }' || {
  echo "FAIL: the map is not on the screen"
  exit 1
}
echo "PASS"
