#!/bin/bash
# Makes the README's pictures from a build (default build/):
#   docs/zoom.png            the zoom's window under Xvfb after the last frame
#   docs/postscript_map.png  the example's Map.ps rendered by Ghostscript
#   docs/python_zoom.png     frame 60 of the zoom as drawn by the Python example
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(realpath "${1:-build}")"
docs="$(pwd)/docs"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The zoom on a virtual screen; the screenshot is taken once all 350
# progress lines are out, while the program waits a moment before it ends.
cat > "$work/shoot.sh" <<'SHOT'
#!/bin/bash
set -euo pipefail
MAPPLOT_NO_ASK=1 MAPPLOT_EXIT_DELAY_MS=4000 QT_QPA_PLATFORM=xcb "$1" > "$2/zoom.out" &
pid=$!
for _ in $(seq 1 600); do
  [ "$(wc -l < "$2/zoom.out")" -ge 350 ] && break
  sleep 0.1
done
sleep 1
xwd -root -silent | convert xwd:- -crop 1024x768+0+0 "$3"
wait "$pid"
SHOT
chmod +x "$work/shoot.sh"
xvfb-run -a -s "-screen 0 1024x768x24" "$work/shoot.sh" "$build/driver/mandel_zoom" "$work" \
  "$docs/zoom.png"

(cd "$work" && "$build/examples/example_postscript_map" > /dev/null)
PYTHONPATH="$build/python" /usr/bin/python3 python/examples/zoom.py \
  --picture "$docs/python_zoom.png" > /dev/null
gs -q -dNOPAUSE -dBATCH -sDEVICE=png16m -r60 -sOutputFile="$docs/postscript_map.png" "$work/Map.ps"
echo "wrote docs/zoom.png, docs/postscript_map.png and docs/python_zoom.png"
