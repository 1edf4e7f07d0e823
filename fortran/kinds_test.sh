#!/bin/bash
# kinds_program.f90 built as it is and with -fdefault-integer-8
# -fdefault-real-8, each run in a folder of its own: both end with exit code
# 0 (their stat and errmsg as expected), the second was built with kinds 8,
# and both folders hold the same files (Map.dat, linear.dat, map.png), byte
# for byte.
# Usage: kinds_test.sh <plain program> <program of default kinds 8>
set -u
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}print_suppressions=0"
plain="$(realpath "$1")" kinds8="$(realpath "$2")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; cat "$work"/*.txt; exit 1; }

for run in plain kinds8; do
  mkdir "$work/$run"
  (cd "$work/$run" && timeout 60 "${!run}" > "$work/$run.txt" 2>&1) ||
    fail "$run ended with $?"
done
grep -qx ' kinds: integer 4, real 4' "$work/plain.txt" || fail "plain kinds"
grep -qx ' kinds: integer 8, real 8' "$work/kinds8.txt" || fail "not built with kinds 8"
files="$(cd "$work/plain" && ls -A)"
[ "$files" = "$(printf '%s\n' Map.dat linear.dat map.png | sort)" ] ||
  fail "the plain program wrote: $files"
[ "$(cd "$work/kinds8" && ls -A)" = "$files" ] || fail "the programs wrote other files"
for f in $files; do
  cmp "$work/plain/$f" "$work/kinds8/$f" || fail "$f differs"
done
echo "the same $(echo $files) from both builds"
