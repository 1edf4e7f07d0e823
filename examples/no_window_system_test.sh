#!/bin/bash
# A program of the data export and the PostScript map alone (the first
# argument) links no Qt library and runs where Qt is not installed: ldd names
# no Qt library, and it runs in a private mount namespace where an empty file
# lies over every Qt library the system has. The second argument, a program
# with screen maps, shows that Qt is hidden there: it cannot start.
# Skipped (77) where no private mount namespace may be made.
set -euo pipefail
program="$(realpath "$1")"
with_windows="$(realpath "$2")"
if ldd "$program" | grep -i 'libQt'; then
  echo "$program links Qt"; exit 1
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/run"
: > "$work/empty"
qt_folders="$(ldd "$with_windows" | awk '/libQt6/ { print $3 }' | xargs -r -n1 dirname | sort -u)"
[ -n "$qt_folders" ] || { echo "$with_windows links no Qt library: nothing to hide"; exit 1; }
# shellcheck disable=SC2086
find $qt_folders -maxdepth 1 -name 'libQt6*.so*' -type f > "$work/qt_libraries"
hidden() {  # hidden PROGRAM: runs it in $work/run with the Qt libraries hidden
  unshare -m sh -c 'while read -r f; do mount --bind "$0" "$f" || exit 99; done < "$1"
    cd "$2" && exec "$3"' "$work/empty" "$work/qt_libraries" "$work/run" "$1"
}
if ! unshare -m true 2> "$work/refused"; then
  echo "no private mount namespace here: $(cat "$work/refused")"; exit 77
fi
if hidden "$with_windows" > /dev/null 2> "$work/control.err"; then
  echo "$with_windows started with Qt hidden: Qt is not hidden"; exit 1
fi
grep -q 'libQt6' "$work/control.err" ||
  { cat "$work/control.err"; echo "$with_windows failed otherwise than for Qt"; exit 1; }
hidden "$program" > "$work/out.txt"
cat "$work/out.txt"
grep -q '  Output in bump.dat' "$work/out.txt"
grep -q '  Output in bump.ps' "$work/out.txt"
head -c 4 "$work/run/bump.ps" | grep -q '%!PS'
echo "runs with $(wc -l < "$work/qt_libraries") Qt libraries hidden"
