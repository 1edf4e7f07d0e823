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

# Whether a window manager runs on $DISPLAY: openbox announces its desktops
# on the root window.
managed() { xdotool get_num_desktops > /dev/null 2>&1; }

# Starts openbox on $DISPLAY (its output into the file <log>) and waits until
# it is ready; on a loaded machine that may take a while, and a test without
# it cannot close windows. One that is not ready in 20 s is replaced, twice
# at most. Sets wm to its process id.
start_openbox() {
  local log="$1" attempt
  for attempt in 1 2 3; do
    openbox > "$log" 2>&1 &
    wm=$!
    await_seconds=20 await managed && return 0
    echo "openbox not ready on $DISPLAY after 20 s (attempt $attempt, $(kill -0 "$wm" 2> /dev/null &&
      echo running || echo ended)): $(cat "$log")"
    kill "$wm" 2> /dev/null && wait "$wm" 2> /dev/null
    wm=
  done
  fail "openbox did not start on $DISPLAY"
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

# The frame of a test that starts a program: a scratch folder ($work), the
# program's process ($pid, set by the caller, stopped when the test ends),
# and LeakSanitizer's statistics of suppressed leaks kept out of the
# program's output. Call it from the test script itself.
start_display_test() {
  work="$(mktemp -d)"
  pid=
  trap '[ -n "$pid" ] && kill "$pid" 2> /dev/null; rm -rf "$work"' EXIT
  export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}print_suppressions=0"
}

# Whether the window $frame is captioned exactly <caption>.
caption_is() { [ "$(xdotool getwindowname "$frame" 2> /dev/null)" = "$1" ]; }

# Presses <keys> in the window $frame until its caption is <caption> (a busy
# machine may take the window's activation late); pressing Pause again while
# paused, or Continue while running, does nothing.
press_until_caption() {
  for _ in 1 2 3; do
    xdotool windowactivate --sync "$frame" key "$1"
    for _ in $(seq 1 60); do
      caption_is "$2" && return 0
      sleep 0.05
    done
  done
  return 1
}
