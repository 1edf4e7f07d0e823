#!/bin/bash
# The tests of write-protected files end some child processes as the user
# nobody, and LeakSanitizer reads its suppressions file when such a process
# ends: the file LSAN_OPTIONS names must be readable by nobody, wherever the
# clone lies (a folder only root may enter, such as root's home, is no place
# for it). Skipped (77) without a suppressions file or without root.
set -u
file="$(printf '%s' "${LSAN_OPTIONS:-}" | tr ':' '\n' | sed -n 's/^suppressions=//p' | tail -1)"
if [[ -z "$file" ]]; then
  echo "LSAN_OPTIONS names no suppressions file: nothing to check"
  exit 77
fi
if [[ "$(id -u)" != 0 ]] || ! command -v setpriv >/dev/null; then
  echo "not root, or no setpriv: cannot check as the user nobody"
  exit 77
fi
if ! setpriv --reuid=nobody --regid=nogroup --clear-groups test -r "$file"; then
  echo "the user nobody cannot read the suppressions file $file"
  exit 1
fi
echo "the user nobody can read $file"
