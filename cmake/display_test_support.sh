# What the real-window test scripts share; sourced by them.

fail() { echo "FAIL: $*"; exit 1; }

# Waits up to 10 s for a condition (a command and its arguments).
await() {
  for _ in $(seq 1 200); do
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
