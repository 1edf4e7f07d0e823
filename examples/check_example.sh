#!/bin/bash
# Runs an example in a fresh folder and checks the files it says it writes:
#   check_example.sh PROGRAM FILE:MAGIC...   (MAGIC: text within the first line)
set -euo pipefail
program="$1"
shift
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
"$program"
for wanted in "$@"; do
  file="${wanted%%:*}"
  magic="${wanted#*:}"
  [ -s "$file" ] || { echo "missing or empty: $file"; exit 1; }
  head -n 1 "$file" | grep -aqF -- "$magic" || { echo "$file does not begin with $magic"; exit 1; }
done
echo "files as the example says: $*"
