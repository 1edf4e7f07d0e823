#!/bin/bash
# A map beyond the file size limit from a GNU Fortran main program
# (file_size_program.f90), whose run-time has a SIGXFSZ handler of its own:
# for a data file and PostScript maps, with stat the call returns stat 1 and
# "File <name>: cannot write: File too large" and the program goes on (no
# signal arrives later); without stat the program ends with exit code 1 and
# that message alone on standard error (no backtrace). Either way the
# earlier file is as it was and no temporary file is left. After such a
# call the program's own writes beyond the limit meet the signal as before.
# Usage: file_size_test.sh <fortran_file_size_program>
set -u
# A sanitizer build's leak checker lists the suppressions it used on standard
# error at the end: not the program's own output.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}print_suppressions=0"
program="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/run" && cd "$work/run"
out="$work/out.txt" err="$work/err.txt"
fail() { echo "FAIL: $*"; cat "$out" "$err"; exit 1; }
# Under a limit of 16 KiB, in a folder holding the earlier file alone.
run() {
  rm -rf "$work/run" && mkdir "$work/run" && cd "$work/run" && echo earlier > "$file"
  # (bash's own note of a program ended by a signal left out)
  { (ulimit -f 16 && exec timeout 60 "$program" "$@") > "$out" 2> "$err"; } 2> /dev/null
}
# Standard error but for giza's own line about the failed write ("%giza -
# ERROR - ...: error while writing to output stream"), which the PostScript
# map passes on as giza printed it when the error ends the program (with
# stat= nothing is printed: the message holds the cause).
own_err() { grep -v '^%giza - ERROR - .*: error while writing to output stream$' "$err"; }
earlier_alone() {
  [ "$(ls -A | xargs)" = "$*" ] || fail "$kind $mode: the folder holds: $(ls -A | xargs)"
  [ "$(cat "$file")" = earlier ] || fail "$kind $mode: the earlier $file changed"
}

for kind in dat ps png; do
  file="Map.$kind"
  message="File $file: cannot write: File too large"
  mode=stat
  run "$kind" stat
  code=$?
  [ "$code" -eq 0 ] || fail "$kind stat: ended with $code"
  [ "$(cat "$out")" = "$(printf ' stat 1: %s\n went on' "$message")" ] ||
    fail "$kind stat: standard output"
  [ ! -s "$err" ] || fail "$kind stat: standard error not empty"
  earlier_alone "$file"

  mode=no_stat
  run "$kind" no_stat
  code=$?
  [ "$code" -eq 1 ] || fail "$kind no_stat: ended with $code"
  [ "$(own_err)" = "$message" ] || fail "$kind no_stat: standard error is not '$message'"
  [ ! -s "$out" ] || fail "$kind no_stat: standard output not empty"
  earlier_alone "$file"
done

kind=dat file=Map.dat mode=after
run dat after
code=$?
[ "$code" -eq $((128 + $(kill -l XFSZ))) ] || fail "after: ended with $code, not by SIGXFSZ"
grep -q 'Program received signal SIGXFSZ' "$err" || fail "after: no report of the signal"
[ "$(head -n 1 "$out")" = " stat 1: File Map.dat: cannot write: File too large" ] ||
  fail "after: standard output"
earlier_alone "$file" plain.txt
echo "PASS"
