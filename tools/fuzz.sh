#!/bin/bash
# Builds the libFuzzer targets of fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/ and runs each for the given
# number of seconds (default 60), or only the targets named:
#
#   bash tools/fuzz.sh                      # every target, 60 s each
#   bash tools/fuzz.sh 3600 read_map_fuzzer  # one target for an hour
#
# Each target starts from its seed corpus fuzz/corpus/<target>/, copied into
# build-fuzz/fuzz-corpus/<target>/, where what it finds accumulates from run
# to run. A crash, a leak, a sanitizer report, a broken invariant or an input
# that takes more than 30 s or more than 2 GB of memory (or one allocation of
# more than 1 GB) stops the target and fails the script; the input
# is kept in build-fuzz/findings/<target>/ and the report in
# build-fuzz/findings/<target>.log. The targets write their files into a
# folder of their own under $TMPDIR (or /tmp).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(format_fuzzer read_map_fuzzer nc_read_fuzzer dat_map_fuzzer ps_map_fuzzer screen_map_fuzzer)
fi
build=build-fuzz
# The clang whose fuzzer runtime tools/setup.sh installs, or MAPPLOT_FUZZ_CXX.
cxx="${MAPPLOT_FUZZ_CXX:-}"
[[ -n $cxx ]] || cxx="$(command -v clang++-14 || command -v clang++ || true)"
if [[ -z $cxx ]]; then
  echo "fuzz.sh: no clang++ (bash tools/setup.sh installs it)" >&2
  exit 1
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$cxx" \
  -DMAPPLOT_FUZZ=ON -DMAPPLOT_BUILD_TESTS=OFF -DMAPPLOT_BUILD_BENCH=OFF
cmake --build "$build" --target "${targets[@]}"

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/findings"

failed=()
for target in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/$target"
  findings="$build/findings/$target"
  log="$build/findings/$target.log"
  mkdir -p "$corpus" "$findings"
  cp -n "fuzz/corpus/$target"/* "$corpus"/ 2>/dev/null || true
  echo "== $target: $seconds s"
  # -len_control=0: inputs of any length from the start; the renderings run
  # only tens or hundreds of inputs a second, too few for the length limit to
  # grow to arrays of a useful size within a minute.
  if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=30 -len_control=0 \
      -rss_limit_mb=2048 -malloc_limit_mb=1024 -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1; then
    grep -E "^#[0-9]+[[:space:]]+DONE" "$log" | tail -n 1 || true
    grep -E "stat::(number_of_executed_units|average_exec_per_sec)" "$log" || true
  else
    failed+=("$target")
    echo "$target FAILED (report: $log, input: $findings/):"
    # From the first report on.
    awk '/runtime error|check failed|ERROR: |fatal error/ { shown = 1 } shown' "$log" | head -n 80
  fi
done

if ((${#failed[@]})); then
  echo "fuzzing failed: ${failed[*]}"
  exit 1
fi
echo "fuzzing: every target ran $seconds s without a finding"
