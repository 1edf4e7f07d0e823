#!/bin/bash
# The windowing runtime from Fortran: the program ends with its routine's
# exit code, its arguments reach the routine, console lines reach standard
# output, and a fatal error ends it with exit code 1, its message and no file.
# Whatever ends it (a return, a fatal error, STOP, ERROR STOP), what the
# program wrote to its own units is complete, and its printed lines and
# console lines are in the order it wrote them. Standard output is a file
# throughout, where the Fortran run-time buffers most.
# Usage: runtime_test.sh <fortran_runtime_program>; headless, or on a display
# (nobody is asked: MAPPLOT_NO_ASK), where the frame window is also closed
# while the routine runs.
set -u
source "$(dirname "$0")/../cmake/display_test_support.sh"
program="$1"
export MAPPLOT_NO_ASK=1
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/run" && cd "$work/run"
out="$work/out.txt" err="$work/err.txt"
fail() { echo "FAIL: $*"; cat "$out" "$err"; exit 1; }
run() { timeout 30 "$program" "$@" > "$out" 2> "$err"; }

run exit 3
code=$?
[ "$code" -eq 3 ] || fail "exit 3 ended with $code"
grep -qx ' returns 3' "$out" || fail "no console line ' returns 3'"

run fatal
code=$?
[ "$code" -eq 1 ] || fail "fatal ended with $code"
grep -q 'log10: SING error' "$err" || fail "no 'log10: SING error' on standard error"
grep -q 'not reached' "$out" && fail "the routine went on after the fatal error"
[ "$(cat log.txt)" = "$(printf 'log line %s\n' 1 2 3)" ] || fail "log.txt: '$(cat log.txt)'"
grep -qx 'printed before' "$out" || fail "the printed line was lost"
rm log.txt
[ -z "$(ls -A)" ] || fail "files left: $(ls -A)"

# STOP and ERROR STOP: their code and their own message (ERROR STOP's ends
# in GNU Fortran's backtrace of the statement), no crash report.
for what in stop error_stop; do
  run "$what" 4
  code=$?
  [ "$code" -eq 4 ] || fail "$what 4 ended with $code"
  grep -qx 'printed before' "$out" || fail "$what: the printed line was lost"
  stop_message=$([ "$what" = stop ] && echo 'STOP 4' || echo 'ERROR STOP 4')
  [ "$(head -n 1 "$err")" = "$stop_message" ] || fail "$what: standard error is not '$stop_message'"
  grep -q 'signal' "$err" && fail "$what: a crash after the stop"
done

# On a display: the frame window closed while the routine runs.
if [ "${QT_QPA_PLATFORM:-}" = xcb ]; then
  timeout 90 "$program" hold > "$out" 2> "$err" &
  pid=$!
  frame_shown() { xdotool search --onlyvisible --name '^fortran_runtime_program$' 2> /dev/null; }
  if ! await_seconds=45 await frame_shown > /dev/null; then
    # What there is instead, for the report: the program's state, the windows.
    if kill -0 "$pid" 2> /dev/null; then
      echo "the program runs; its threads:"
      command -v gdb > /dev/null &&
        gdb -p "$(pgrep -P "$pid" | head -1)" -batch -ex 'thread apply all bt' 2>&1 | grep -E '^(#|Thread)'
    else
      wait "$pid"
      echo "the program ended with $?"
    fi
    echo "windows: $(xdotool search --name . 2> /dev/null | while read -r w; do
      printf '[%s] ' "$(xdotool getwindowname "$w" 2> /dev/null)"; done)"
    fail "no frame window"
  fi
  sleep 0.5  # the routine draws again and again
  # Pressed until it takes: the window manager may not be ready for it yet.
  for _ in $(seq 60); do
    kill -0 "$pid" 2> /dev/null || break
    press_close "$(frame_shown | head -1)"
    sleep 0.5
  done
  if kill -0 "$pid" 2> /dev/null; then
    # Still running: where each of its threads stands, for the report.
    echo "still running; frame windows: $(frame_shown | tr '\n' ' ')"
    command -v gdb > /dev/null &&
      gdb -p "$(pgrep -P "$pid" | head -1)" -batch -ex 'thread apply all bt' 2>&1 | grep -E '^(#|Thread)'
  fi
  wait "$pid"
  code=$?
  [ "$code" -eq 2 ] || fail "closing the window while running ended with $code"
  [ "$(cat log.txt)" = "$(printf 'log line %s\n' 1 2 3)" ] ||
    fail "closed: log.txt: '$(cat log.txt)'"
  grep -qx 'printed before' "$out" || fail "closed: the printed line was lost"
  rm log.txt
fi

run order
code=$?
[ "$code" -eq 0 ] || fail "order ended with $code"
expected=$(printf '%s\n' 'printed 1' ' console line' 'printed 2' ' console line' 'printed 3' \
  ' console line' '  Output in order.dat' 'printed last')
[ "$(cat "$out")" = "$expected" ] || fail "standard output is out of order"
echo "PASS"
