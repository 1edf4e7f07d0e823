#!/bin/bash
# The module's files from several threads at once (threads_program.f90), in
# an empty folder: the program finds every file as written alone and every
# stat its own; then the folder holds the writers' files alone (no file of
# the failing calls, no temporary file, hidden ones included), standard
# output their " Output in " lines, each whole, and standard error the
# failing calls' %PGPLOT lines, each whole.
# Usage: threads_test.sh <fortran_threads_program> [rounds]
set -u
# A sanitizer build's leak checker lists the suppressions it used on standard
# error at the end: not the program's own output.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}print_suppressions=0"
program="$1"
rounds="${2:-5}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/run" && cd "$work/run"
out="$work/out.txt" err="$work/err.txt"
fail() { echo "FAIL: $*"; cat "$out" "$err"; exit 1; }

timeout 60 "$program" "$rounds" > "$out" 2> "$err"
code=$?
[ "$code" -eq 0 ] || fail "the program ended with $code"

expected="$(for w in 1 2 3 4; do
  for stem in "alone$w" $(seq -f "w${w}r%g" 1 "$rounds"); do
    printf '%s\n' "$stem.dat" "$stem.png" "$stem.ps"
  done
done | sort)"
[ "$(ls -A | sort)" = "$expected" ] ||
  fail "the folder holds: $(ls -A | sort | tr '\n' ' ')"

# What the module printed: one " Output in " line a file, whole.
[ "$(grep -v '^ threads: ' "$out" | sed 's/^  Output in //' | sort)" = "$expected" ] ||
  fail "standard output is not one whole line a file"
no_folder='Cannot open output file for PostScript plot: no/such/folder/failed.ps: No such file or directory'
[ "$(sort "$err" | uniq -c | sed 's/^ *//')" = "$(printf '%s\n' \
  "$rounds %PGPLOT, $no_folder" "$rounds %PGPLOT, Unrecognized device type: xyz")" ] ||
  fail "standard error is not the failing calls' lines, whole"
tail -n 1 "$out"
