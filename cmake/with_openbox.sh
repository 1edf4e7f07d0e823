#!/bin/bash
# Runs a command on the current X display under the openbox window manager,
# as on a desktop: windows get frames, dialogs are placed, stacked and
# focused by it, and Alt+F4 closes the active window.
# Usage: with_openbox.sh <command> [<arguments>...]; run under xvfb-run.
set -u
openbox > /dev/null 2>&1 &
wm=$!
# Ready once it announces its desktops on the root window.
for _ in $(seq 1 100); do
  xdotool get_num_desktops > /dev/null 2>&1 && break
  sleep 0.05
done
"$@"
code=$?
kill "$wm" 2> /dev/null
wait "$wm" 2> /dev/null
exit "$code"
