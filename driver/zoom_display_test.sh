#!/bin/bash
# The zoom in a real window on an X display: runs mandel_zoom to its last
# frame, takes a picture of the screen and checks that it shows the map's
# magenta frame and a grey-level map (black and white cells).
# Usage: zoom_display_test.sh <mandel_zoom>; run on a virtual display (cmake/on_virtual_display.sh).
set -u
zoom="$1"
shot="$(mktemp -d)"
trap 'rm -rf "$shot"' EXIT
source "$(dirname "$0")/../cmake/display_test_support.sh"

MAPPLOT_NO_ASK=1 MAPPLOT_EXIT_DELAY_MS=4000 timeout 150 "$zoom" > "$shot/out.txt" 2>&1 &
pid=$!
for _ in $(seq 1 1200); do
  [ "$(grep -c 'Ray =' "$shot/out.txt")" -ge 350 ] && break
  sleep 0.1
done
sleep 1
screen_shot "$shot/screen.png" || { kill "$pid"; exit 1; }
wait "$pid"
code=$?
magenta=$(colour_share "$shot/screen.png" '#800080')
white=$(colour_share "$shot/screen.png" '#FFFFFF')
lines=$(grep -c 'Ray =' "$shot/out.txt")
echo "exit code $code, $lines progress lines, magenta share $magenta, white share $white"
[ "$code" -eq 0 ] || { echo "FAIL: mandel_zoom ended with $code"; exit 1; }
[ "$lines" -eq 350 ] || { echo "FAIL: $lines progress lines"; exit 1; }
awk -v m="$magenta" -v w="$white" 'BEGIN { exit !(m > 0.0005 && w > 0.002) }' || {
  echo "FAIL: the map is not on the screen"
  exit 1
}
[ -n "${MAPPLOT_KEEP_SHOT:-}" ] && cp "$shot/screen.png" "$MAPPLOT_KEEP_SHOT"
echo "PASS"
