# What the real-window test scripts share; sourced by them.

fail() { echo "FAIL: $*"; exit 1; }

# Waits up to await_seconds (10 unless set) for a condition (a command and
# its arguments).
await() {
  for _ in $(seq 1 $((${await_seconds:-10} * 20))); do
    "$@" && return 0
    sleep 0.05
  done
  return 1
}

# The real ImageMagick, not a stand-in earlier on the PATH.
convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert

# Takes a picture of the whole screen into <file.png> (through xwd, which
# needs no window manager); says what failed and returns 1 when it cannot.
screen_shot() {
  xwd -root -silent > "$1.xwd" || { echo "xwd failed"; return 1; }
  "$convert" "xwd:$1.xwd" "$1" || { echo "convert failed"; return 1; }
}

# The share of a picture's pixels in one colour, from 0 to 1.
colour_share() {
  "$convert" "$1" -fill black +opaque "$2" -fill white -opaque "$2" \
    -colorspace Gray -format '%[fx:mean]' info:
}

# Presses Alt+F4 over a window: the window manager asks it to close. The
# window is activated first, or failing that given the focus (a window
# manager under load may not act on the activation at once; neither step
# may wait forever).
press_close() {
  timeout 5 xdotool windowactivate --sync "$1" > /dev/null 2>&1 ||
    timeout 5 xdotool windowfocus --sync "$1" > /dev/null 2>&1
  xdotool key alt+F4
}
