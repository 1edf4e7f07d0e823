#!/bin/bash
# The windowing runtime from Fortran: the program ends with its routine's
# exit code, its arguments reach the routine, console lines reach standard
# output, and a fatal error ends it with exit code 1, its message and no file.
# Usage: runtime_test.sh <fortran_runtime_program>
set -u
program="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/run" && cd "$work/run"
out="$work/out.txt" err="$work/err.txt"
fail() { echo "FAIL: $*"; cat "$out" "$err"; exit 1; }

"$program" exit 3 > "$out" 2> "$err"
code=$?
[ "$code" -eq 3 ] || fail "exit 3 ended with $code"
grep -qx ' returns 3' "$out" || fail "no console line ' returns 3'"

"$program" fatal > "$out" 2> "$err"
code=$?
[ "$code" -eq 1 ] || fail "fatal ended with $code"
grep -q 'log10: SING error' "$err" || fail "no 'log10: SING error' on standard error"
grep -q 'not reached' "$out" && fail "the routine went on after the fatal error"
[ -z "$(ls -A)" ] || fail "files left: $(ls -A)"
echo "PASS"
