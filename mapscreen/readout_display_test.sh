#!/bin/bash
# The values under the cursor in a real window: the mouse on chosen cells of
# a map of known values shows their x, y and z in the status bar (read from
# the status lines MAPPLOT_STATUS_TEXT writes to standard error), off the map
# nothing; the same at zoom 3 and 2 (View menu shortcuts and Ctrl+wheel), where
# each picture pixel is a square of pixels; Save Picture at zoom 3 gives the
# surface at its own size, the same as at zoom 1.
# Usage: readout_display_test.sh <readout_demo>; run on a virtual display
# with a window manager (cmake/on_virtual_display.sh).
set -u
demo="$1"
source "$(dirname "$0")/../cmake/display_test_support.sh"
start_display_test

MAPPLOT_NO_ASK=1 MAPPLOT_EXIT_DELAY_MS=600000 MAPPLOT_STATUS_TEXT=1 \
  "$demo" > "$work/out.txt" 2> "$work/err.txt" &
pid=$!
drawn() { grep -q 'readout demo: drawn' "$work/out.txt"; }
await drawn || fail "the demo did not draw"
frame=$(xdotool search --onlyvisible --name '^readout_demo' | head -1)
[ -n "$frame" ] || fail "no frame window"
xdotool windowactivate --sync "$frame" 2> /dev/null

# The map's magenta frame runs round surface pixels 1 .. 270: its box on the
# screen gives where surface pixel (1, 1) is and the zoom (270 per factor).
box=
locate() {
  screen_shot "$work/screen.png" > /dev/null || return 1
  box=$("$convert" "$work/screen.png" -fill black +opaque '#800080' -format '%@' info:)
  [ "${box%%x*}" = "$((270 * $1))" ]
}
left() { local b=${box#*+}; echo "${b%+*}"; }
top() { echo "${box##*+}"; }

status() { grep '^status: ' "$work/err.txt" | tail -1; }
status_is() { [ "$(status)" = "status: $1" ]; }
# Moves the mouse onto surface pixel (px, py) at zoom z and awaits the text.
reads() {
  local px=$1 py=$2 z=$3 expected=$4
  xdotool mousemove $(($(left) + (px - 1) * z + z / 2)) $(($(top) + (py - 1) * z + z / 2))
  await status_is "$expected" ||
    fail "zoom $z, pixel ($px, $py): '$(status)' instead of 'status: $expected'"
}
# Cells of the map: x = 0.1 .. 0.4 over columns 4 .. 266, y = 10 .. 30 over
# rows 266 .. 4; the text column right of the map reads nothing.
check_cells() {
  reads 26 233 "$1" "x = 0.1  y = 10  z = 1"
  reads 179 135 "$1" "x = 0.3  y = 20  z = 0.14285714285714285"
  reads 400 100 "$1" ""
  reads 245 36 "$1" "x = 0.4  y = 30  z = 0.08333333333333333"
}
save_as() {
  xdotool windowactivate --sync "$frame" 2> /dev/null
  xdotool key ctrl+s
  sleep 1
  xdotool key ctrl+a type "$1"
  xdotool key Return
  saved() { [ -s "$1" ]; }
  await saved "$1" || fail "the picture was not saved as $1"
}

await locate 1 || fail "the map is not on the screen ($box)"
check_cells 1
reads 179 135 1 "x = 0.3  y = 20  z = 0.14285714285714285"
save_as "$work/plain.png"

xdotool windowactivate --sync "$frame" 2> /dev/null
xdotool key ctrl+plus
xdotool key ctrl+plus
await locate 3 || fail "Ctrl++ twice did not give zoom 3 ($box)"
check_cells 3
# Nearest neighbour: the screen shows each picture pixel as a 3 x 3 square.
"$convert" "$work/plain.png" -crop 200x200+1+1 +repage -sample 300% "$work/expected.png"
"$convert" "$work/screen.png" -crop "600x600+$(left)+$(top)" +repage "$work/shown.png"
differ=$(compare -metric AE "$work/expected.png" "$work/shown.png" null: 2>&1)
[ "$differ" = 0 ] || fail "the enlarged picture is not the picture's pixels in squares ($differ differ)"

save_as "$work/zoom3.png"
size=$(identify -format '%wx%h' "$work/zoom3.png")
[ "$size" = 1005x663 ] || fail "the picture saved at zoom 3 is $size"
differ=$(compare -metric AE "$work/plain.png" "$work/zoom3.png" null: 2>&1)
[ "$differ" = 0 ] || fail "the picture saved at zoom 3 differs from the one at zoom 1 ($differ)"

xdotool windowactivate --sync "$frame" 2> /dev/null
xdotool key ctrl+minus
await locate 2 || fail "Ctrl+- did not give zoom 2 ($box)"
check_cells 2
xdotool key ctrl+0
await locate 1 || fail "Ctrl+0 did not give the actual size ($box)"
reads 179 135 1 "x = 0.3  y = 20  z = 0.14285714285714285"
# Ctrl+wheel up over the picture: one step larger.
xdotool keydown ctrl click 4 keyup ctrl
await locate 2 || fail "Ctrl+wheel did not give zoom 2 ($box)"
reads 26 233 2 "x = 0.1  y = 10  z = 1"

grep -v '^status: ' "$work/err.txt" > "$work/other.txt"
[ -s "$work/other.txt" ] && fail "standard error: $(cat "$work/other.txt")"
echo "PASS"
