#!/bin/bash
# The project taken in by another with add_subdirectory (files/ given
# MAPPLOT_SOURCE): tests and benchmarks are left out unless asked for, the
# data file program links mapplot::mapdata by the package's name, the
# project's warnings and exact arithmetic reach its own sources but not,
# through mapplot::mapdata, the program's, and only what the program links
# is built.
set -euo pipefail
source_dir="$1"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
build="$work/build"
cmake -S "$here/files" -B "$build" -G Ninja -DMAPPLOT_SOURCE="$source_dir" > "$work/configure.log" ||
  { cat "$work/configure.log"; exit 1; }
for option in MAPPLOT_BUILD_TESTS MAPPLOT_BUILD_BENCH; do
  grep -qx "$option:BOOL=OFF" "$build/CMakeCache.txt" ||
    { echo "subproject: $option is not OFF by default"; exit 1; }
done
commands="$(ninja -C "$build" -t commands data_file)"
own="$(grep -E -- ' -c [^ ]*/examples/data_file\.cpp$' <<< "$commands")"
theirs="$(grep -E -- ' -c [^ ]*/mapdata/dat_map\.cpp$' <<< "$commands")"
[ -n "$own" ] && [ -n "$theirs" ] || { echo "$commands"; exit 1; }
if grep -qE -- '-ffp-contract=off|-Wconversion' <<< "$own"; then
  echo "subproject: the project's flags reach the other project's code: $own"; exit 1
fi
grep -q -- '-ffp-contract=off' <<< "$theirs" ||
  { echo "subproject: the project's own source without its flags: $theirs"; exit 1; }
nice -n 10 cmake --build "$build" -j2 > "$work/build.log" || { tail -30 "$work/build.log"; exit 1; }
if [ -e "$build/mapplot/gfxwin/libgfxwin.a" ]; then
  echo "subproject: built more than the program links (gfxwin)"; exit 1
fi
mkdir "$work/run" && cd "$work/run"
"$build/data_file" > out.txt
grep -q '^read 40 x 30 values' out.txt
[ "$(head -n 1 bump.dat)" = $'          40          30           1\r' ]
echo "subproject: the data file program built with mapplot::mapdata from add_subdirectory and run;" \
  "tests and benchmarks off, the project's flags on its own sources alone"
