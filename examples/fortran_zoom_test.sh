#!/bin/bash
# The zoom from Fortran without a display: it ends with exit code 0 and
# prints the same 350 progress lines as mandel_zoom.
# Usage: fortran_zoom_test.sh <example_fortran_zoom> <mandel_zoom>
set -u
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$1" > "$work/fortran.txt" 2> "$work/fortran.err"
code=$?
[ "$code" -eq 0 ] || { echo "FAIL: the Fortran zoom ended with $code"; cat "$work/fortran.err"; exit 1; }
"$2" > "$work/cpp.txt" 2> /dev/null || { echo "FAIL: mandel_zoom failed"; exit 1; }
[ "$(wc -l < "$work/fortran.txt")" -eq 350 ] || { echo "FAIL: not 350 progress lines"; exit 1; }
diff "$work/cpp.txt" "$work/fortran.txt" > "$work/diff.txt" ||
  { echo "FAIL: the progress lines differ from mandel_zoom's:"; head -20 "$work/diff.txt"; exit 1; }
head -1 "$work/fortran.txt"
tail -1 "$work/fortran.txt"
echo "PASS"
