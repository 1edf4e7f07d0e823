#!/bin/bash
# A real window on an X display: starts the demo program, takes a picture of
# the screen and checks that its graphics window shows the filled rectangle
# the demo draws (#E07F2D, an orange nothing else on the screen has).
# Usage: display_test.sh <gfxwin_demo>; run on a virtual display (cmake/on_virtual_display.sh).
set -u
demo="$1"
shot="$(mktemp -d)"
trap 'rm -rf "$shot"' EXIT
source "$(dirname "$0")/../cmake/display_test_support.sh"

MAPPLOT_NO_ASK=1 MAPPLOT_EXIT_DELAY_MS=4000 timeout 30 "$demo" > "$shot/out.txt" 2>&1 &
pid=$!
sleep 2.5
screen_shot "$shot/screen.png" || { kill "$pid"; exit 1; }
wait "$pid"
code=$?
# The share of the screen in that colour; the rectangle is 301 x 201 pixels
# of a 1280 x 1024 screen, about 0.046.
share=$(colour_share "$shot/screen.png" '#E07F2D')
echo "demo exit code $code, share of the demo's colour $share"
cat "$shot/out.txt"
[ "$code" -eq 0 ] || { echo "FAIL: the demo ended with $code"; exit 1; }
grep -q ' gfxwin demo: drawn' "$shot/out.txt" || { echo "FAIL: no console line"; exit 1; }
awk -v s="$share" 'BEGIN { exit !(s > 0.03 && s < 0.06) }' || {
  echo "FAIL: the rectangle is not on the screen"
  [ -n "${MAPPLOT_KEEP_SHOT:-}" ] && cp "$shot/screen.png" "$MAPPLOT_KEEP_SHOT"
  exit 1
}
[ -n "${MAPPLOT_KEEP_SHOT:-}" ] && cp "$shot/screen.png" "$MAPPLOT_KEEP_SHOT"
echo "PASS"
