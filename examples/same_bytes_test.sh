#!/bin/bash
# Runs an example several times, each in a process and folder of its own,
# and checks that every file it writes has the same bytes each time (the
# creation date that PostScript and PDF files carry aside): the same plot
# must give the same file, whatever the process's memory layout.
#   same_bytes_test.sh PROGRAM [RUNS]
set -euo pipefail
program="$1"
runs="${2:-8}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for run in $(seq 1 "$runs"); do
  mkdir "$work/$run"
  (cd "$work/$run" && "$program" > /dev/null)
  for file in "$work/$run"/*; do
    grep -av 'CreationDate' "$file" > "$file.undated" || true
  done
  [ "$run" -eq 1 ] && continue
  for file in "$work/1"/*.undated; do
    name="$(basename "$file" .undated)"
    cmp -s "$file" "$work/$run/$name.undated" || { echo "FAIL: $name differs in run $run"; exit 1; }
  done
done
echo "the same bytes in $runs runs: $(cd "$work/1" && ls | grep -v undated | tr '\n' ' ')"
