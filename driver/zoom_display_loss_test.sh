#!/bin/bash
# The X server goes away while the zoom runs: the zoom must end with exit
# code 1 and one message of its own on standard error, not crash.
# Usage: zoom_display_loss_test.sh <mandel_zoom>; starts its own X server.
set -u
zoom="$1"
work="$(mktemp -d)"
server= wm= pid=
cleanup() {
  for p in $pid $wm $server; do kill "$p" 2> /dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/../cmake/display_test_support.sh"

numbered() { [ -s "$work/display" ]; }
some_frames() { [ "$(grep -c 'Ray =' "$work/out.txt")" -ge 30 ]; }
ended() { ! kill -0 "$pid" 2> /dev/null; }

# A free display number is written to descriptor 3 once the server is up.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$work/display" 2> /dev/null &
server=$!
await numbered || fail "Xvfb did not start"
export DISPLAY=":$(head -1 "$work/display")"
export DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent/mapplot-test-bus"  # Qt starts no bus
start_openbox "$work/wm.log"

MAPPLOT_NO_ASK=1 QT_QPA_PLATFORM=xcb "$zoom" > "$work/out.txt" 2> "$work/err.txt" &
pid=$!
await some_frames || fail "the zoom did not start"
kill "$server"
wait "$server" 2> /dev/null
server=
await ended || fail "the zoom still runs without its display"
wait "$pid"
code=$?
pid=
lines=$(grep -c 'Ray =' "$work/out.txt")
echo "exit code $code after $lines progress lines; standard error:"
cat "$work/err.txt"
[ "$code" -eq 1 ] || fail "the zoom ended with $code"
[ "$lines" -lt 350 ] || fail "the zoom finished before the display went away"
[ "$(cat "$work/err.txt")" = "window system: the connection to the display broke" ] ||
  fail "not the zoom's own message on standard error"
echo "PASS"
