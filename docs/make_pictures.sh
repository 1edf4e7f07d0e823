#!/bin/bash
# Makes the README's pictures from a build (default build/):
#   docs/zoom.png            the zoom's window under Xvfb at frame 100 (paused) and
#                            after the last frame, side by side
#   docs/postscript_map.png  the example's Map.ps rendered by Ghostscript
#   docs/python_zoom.png     frame 60 of the zoom as drawn by the Python example
#   docs/palette_<name>.png  a strip of each built-in colour table, cut from the
#                            ramp the palettes example draws with it
#   docs/colour_map.png      the palettes example's map in grey and in viridis
#   docs/readout.png         the paused zoom reading the values of the cell under the
#                            mouse in the status bar
#   docs/enlarged.png        the paused zoom's map enlarged three times, reading the same
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(realpath "${1:-build}")"
docs="$(pwd)/docs"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The zoom on a virtual screen under a window manager: paused at frame 100,
# where the set's boundary fills the map, then after the last frame; the two
# shots side by side.
cat > "$work/shoot.sh" <<'SHOT'
#!/bin/bash
set -euo pipefail
zoom="$1" work="$2"
lines() { grep -c 'Ray =' "$work/zoom.out" || true; }
await_lines() {
  for _ in $(seq 1 600); do
    [ "$(lines)" -ge "$1" ] && return 0
    sleep 0.02
  done
  return 1
}
shoot() { import -window root -crop 1024x768+0+0 "$1"; }
MAPPLOT_NO_ASK=1 MAPPLOT_EXIT_DELAY_MS=4000 QT_QPA_PLATFORM=xcb "$zoom" > "$work/zoom.out" &
pid=$!
await_lines 100
frame=$(xdotool search --sync --onlyvisible --name '^mandel_zoom$' | head -1)
xdotool windowactivate --sync "$frame" key ctrl+p
sleep 1
shoot "$work/boundary.png"
xdotool windowactivate --sync "$frame" key ctrl+r
await_lines 350
sleep 1
shoot "$work/last.png"
wait "$pid"
SHOT
chmod +x "$work/shoot.sh"
VIRTUAL_SCREEN=1024x768x24 cmake/on_virtual_display.sh "$work/shoot.sh" \
  "$build/driver/mandel_zoom" "$work"
convert "$work/boundary.png" "$work/last.png" -crop 640x400+0+0 +repage +append "$docs/zoom.png"

colour_pictures() {
  (cd "$work" && "$build/examples/example_palettes" > /dev/null)
  # The middle of each ramp's map, clear of the frame and its ticks.
  for strip in "$work"/palette_*.png; do
    convert "$strip" -crop 540x20+110+290 +repage "$docs/$(basename "$strip")"
  done
  convert "$work/wave_grey.png" "$work/wave_viridis.png" -crop 700x520+50+40 +repage \
    -resize 50% +append "$docs/colour_map.png"
}
colour_pictures
# The values under the mouse and the enlarged view, as their real-window
# test leaves them on the screen (1280 x 1024): the map's window above the
# status bar, at zoom 1 and at zoom 3.
mkdir -p "$work/shots"
MAPPLOT_SHOTS="$work/shots" cmake/on_virtual_display.sh driver/zoom_readout_display_test.sh \
  "$build/driver/mandel_zoom" > /dev/null
convert "$work/shots/paused.png" \( -clone 0 -crop 720x380+38+48 \) \( -clone 0 -crop 720x30+38+940 \) \
  -delete 0 -append +repage "$docs/readout.png"
convert "$work/shots/enlarged.png" \( -clone 0 -crop 900x560+38+48 \) \( -clone 0 -crop 900x30+38+940 \) \
  -delete 0 -append +repage "$docs/enlarged.png"

(cd "$work" && "$build/examples/example_postscript_map" > /dev/null)
PYTHONPATH="$build/python" /usr/bin/python3 python/examples/zoom.py \
  --picture "$docs/python_zoom.png" > /dev/null
gs -q -dNOPAUSE -dBATCH -sDEVICE=png16m -r80 -sOutputFile="$docs/postscript_map.png" "$work/Map.ps"
echo "wrote docs/zoom.png, docs/postscript_map.png, docs/python_zoom.png, docs/readout.png, docs/enlarged.png and the colour pictures"
