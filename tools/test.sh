#!/bin/bash
# Runs every test of the build in build/ (or the build folder given).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
ctest --test-dir "$build" --output-on-failure -j2
