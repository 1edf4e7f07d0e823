# What the real-window test scripts share; sourced by them.

fail() { echo "FAIL: $*"; exit 1; }

# Waits up to 10 s for a condition (a command and its arguments).
await() {
  for _ in $(seq 1 200); do
    "$@" && return 0
    sleep 0.05
  done
  return 1
}
