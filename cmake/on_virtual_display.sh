#!/bin/bash
# Runs a command on a virtual X screen of its own (1280 x 1024 x 24, or
# VIRTUAL_SCREEN) under the
# openbox window manager, as on a desktop: windows get frames, dialogs are
# placed, stacked and focused by it, and Alt+F4 closes the active window.
# The X server picks a free display number itself (-displayfd), so tests
# started at the same moment never share a screen.
# Usage: on_virtual_display.sh <command> [<arguments>...]
set -u
source "$(dirname "$0")/display_test_support.sh"
work="$(mktemp -d)"
server= wm=
finish() {
  [ -n "$wm" ] && kill "$wm" 2> /dev/null && wait "$wm" 2> /dev/null
  [ -n "$server" ] && kill "$server" 2> /dev/null && wait "$server" 2> /dev/null
  rm -rf "$work"
}
trap finish EXIT

numbered() { [ -s "$work/display" ]; }

# The display number is written to descriptor 3 once the server is up.
Xvfb -displayfd 3 -screen 0 "${VIRTUAL_SCREEN:-1280x1024x24}" -nolisten tcp 3> "$work/display" 2> "$work/server.log" &
server=$!
await_seconds=60 await numbered || { cat "$work/server.log"; fail "Xvfb did not start"; }
export DISPLAY=":$(head -1 "$work/display")"
# No session bus on this desktop: an address that fails at once, so that Qt
# never starts one of its own (dbus-launch --autolaunch) or waits for one.
export DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent/mapplot-test-bus"
start_openbox "$work/wm.log"
"$@"
