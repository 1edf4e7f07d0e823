#!/bin/bash
# Installs the build into a temporary prefix, builds the consumer program
# against it with find_package, runs it and checks the files it writes.
set -euo pipefail
build="$1"
flags="${2:-}"  # compiler and linker flags the installed libraries need
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" > "$work/install.log"
# The installed headers need neither Qt's nor giza's.
if grep -rqE '#include [<"](Q|cpgplot|giza)' "$work/prefix/include"; then
  echo "an installed header includes Qt or giza"; exit 1
fi
cmake -S "$here" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" > "$work/configure.log"
cmake --build "$work/build" > "$work/build.log"
mkdir "$work/run" && cd "$work/run"
"$work/build/consumer" > out.txt
grep -qx '  Output in Map.ps' out.txt
grep -qx '  Output in Map.dat' out.txt
head -c 4 Map.ps | grep -q '%!PS'
[ "$(head -n 1 Map.dat)" = $'           3           2           1\r' ]
# The pkg-config module names the same headers and libraries.
PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" pkg-config --cflags --libs mapplot > /dev/null
echo "consumer: built against the installed package, Map.ps and Map.dat written"
