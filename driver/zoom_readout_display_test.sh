#!/bin/bash
# Reading values off a paused zoom: Ctrl+P holds the zoom and the status
# bar says "Paused"; the mouse on the map's middle cell reads grid point
# (0, 0) of the frame on the screen, which is that frame's centre (xc, yc),
# and an escape count for z; the reading stays while paused. Ctrl+R lets the
# zoom run to its end, and the status bar no longer says Paused. Enlarged
# three times (Ctrl++ twice) the middle cell reads the same.
# Usage: zoom_readout_display_test.sh <mandel_zoom>; run on a virtual display
# with a window manager (cmake/on_virtual_display.sh). MAPPLOT_SHOTS=<folder>
# keeps pictures of the paused screen (paused.png, enlarged.png).
set -u
zoom="$1"
source "$(dirname "$0")/../cmake/display_test_support.sh"
start_display_test

lines() { grep -c 'Ray =' "$work/out.txt"; }
some_frames() { [ "$(lines)" -ge 20 ]; }
status() { grep '^status: ' "$work/err.txt" | tail -1; }
status_matches() { status | grep -Eq "$1"; }
ended() { ! kill -0 "$pid" 2> /dev/null; }

MAPPLOT_NO_ASK=1 MAPPLOT_STATUS_TEXT=1 "$zoom" > "$work/out.txt" 2> "$work/err.txt" &
pid=$!
await some_frames || fail "the zoom did not start"
frame=$(xdotool search --onlyvisible --name '^mandel_zoom$' | head -1)
[ -n "$frame" ] || fail "no frame window"

press_until_caption ctrl+p "mandel_zoom [paused]" || fail "Ctrl+P did not pause"
await status_matches '^status: Paused($|    x = )' || fail "the status bar does not say Paused: '$(status)'"
sleep 0.3
last=$(grep 'Ray =' "$work/out.txt" | tail -1 | awk '{print $1}')

# The map's magenta frame runs round surface pixels 1 .. 270.
screen_shot "$work/screen.png" > /dev/null || fail "no picture of the screen"
box=$("$convert" "$work/screen.png" -fill black +opaque '#800080' -format '%@' info:)
[ "${box%%x*}" = 270 ] || fail "the map is not on the screen ($box)"
b=${box#*+}
left=${b%+*}
top=${box##*+}

number='[-+0-9.e]+'
reading="^status: Paused    x = ($number)  y = ($number)  z = [0-9]+$"
xdotool mousemove $((left + 134)) $((top + 134))  # surface pixel (135, 135)
await status_matches "$reading" || fail "no reading of the paused frame: '$(status)'"
middle=$(status)
if [ -n "${MAPPLOT_SHOTS:-}" ]; then
  screen_shot "$work/paused.png" > /dev/null && cp "$work/paused.png" "$MAPPLOT_SHOTS/"
fi

# The middle cell is grid point (0, 0): the centre of frame k, which is the
# last frame announced or the one before (drawn while the next was announced).
x=$(echo "$middle" | sed -E 's/.*  x = (\S+)  y = .*/\1/')
y=$(echo "$middle" | sed -E 's/.*  y = (\S+)  z = .*/\1/')
python3 - "$last" "$x" "$y" <<'PY' || fail "'$middle' is not the centre of frame $last or $((last - 1))"
import struct, sys
def single(v): return struct.unpack('f', struct.pack('f', v))[0]
def centre(k):
    p, power = 1.0, single(0.95)
    while k:
        if k & 1: p *= power
        power *= power
        k >>= 1
    approach = 1.0 - p * p
    return single(-0.04288163 * approach), single(0.98979723 * approach)
last, x, y = int(sys.argv[1]), single(float(sys.argv[2])), single(float(sys.argv[3]))
sys.exit(0 if (x, y) in [centre(k) for k in (last, last - 1)] else 1)
PY

# Another cell reads otherwise; back on the middle cell the reading is the same.
xdotool mousemove $((left + 39)) $((top + 39))
await status_matches "$reading" && [ "$(status)" != "$middle" ] ||
  fail "another cell reads '$(status)'"
xdotool mousemove $((left + 134)) $((top + 134))
await status_matches "^$middle\$" || fail "the middle cell now reads '$(status)', first '$middle'"

# Enlarged three times the paused frame reads the same.
xdotool windowactivate --sync "$frame" key ctrl+plus key ctrl+plus
zoomed() {
  screen_shot "$work/screen.png" > /dev/null &&
    box=$("$convert" "$work/screen.png" -fill black +opaque '#800080' -format '%@' info:) &&
    [ "${box%%x*}" = 810 ]
}
await zoomed || fail "Ctrl++ twice did not enlarge the map three times ($box)"
b=${box#*+}
xdotool mousemove $((${b%+*} + 134 * 3 + 1)) $((${box##*+} + 134 * 3 + 1))
await status_matches "^$middle\$" || fail "at zoom 3 the middle cell reads '$(status)', first '$middle'"
if [ -n "${MAPPLOT_SHOTS:-}" ]; then
  screen_shot "$work/enlarged.png" > /dev/null && cp "$work/enlarged.png" "$MAPPLOT_SHOTS/"
fi
xdotool key ctrl+0

press_until_caption ctrl+r "mandel_zoom" || fail "Ctrl+R did not continue"
await status_matches '^status: ($|x = )' || fail "the status bar still says '$(status)'"
for _ in $(seq 1 6); do await ended && break; done
ended || fail "the zoom did not end after Continue"
wait "$pid"
code=$?
pid=
echo "paused at frame $last, $middle"
[ "$code" -eq 0 ] || fail "the zoom ended with $code"
grep -v '^status: ' "$work/err.txt" > "$work/other.txt"
[ -s "$work/other.txt" ] && fail "standard error: $(cat "$work/other.txt")"
echo "PASS"
