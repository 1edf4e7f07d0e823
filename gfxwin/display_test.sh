#!/bin/bash
# A real window on an X display: starts the demo program, takes a picture of
# the screen and checks that its graphics window shows the filled rectangle
# the demo draws (#E07F2D, an orange nothing else on the screen has).
# Usage: display_test.sh <gfxwin_demo>; run under xvfb-run.
set -u
demo="$1"
shot="$(mktemp -d)"
trap 'rm -rf "$shot"' EXIT
# The real ImageMagick, not a stand-in earlier on the PATH.
convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert

MAPPLOT_NO_ASK=1 MAPPLOT_EXIT_DELAY_MS=4000 timeout 30 "$demo" > "$shot/out.txt" 2>&1 &
pid=$!
sleep 2.5
xwd -root -silent > "$shot/screen.xwd" || { echo "xwd failed"; kill "$pid"; exit 1; }
wait "$pid"
code=$?
"$convert" "xwd:$shot/screen.xwd" "$shot/screen.png" || { echo "convert failed"; exit 1; }
# The share of the screen in that colour; the rectangle is 301 x 201 pixels
# of a 1280 x 1024 screen, about 0.046.
share=$("$convert" "$shot/screen.png" -fill black +opaque '#E07F2D' -fill white -opaque '#E07F2D' \
        -colorspace Gray -format '%[fx:mean]' info:)
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
