#!/bin/bash
# Installs the build into a temporary prefix (not the one configured), checks
# that each installed header compiles alone, builds the consumer program
# against it with find_package and with pkg-config, runs both and checks the
# files they write.
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
# Each installed header compiles on its own.
for header in $(cd "$work/prefix/include/mapplot" && find . -name '*.h' | sort); do
  echo "#include \"${header#./}\"" |
    c++ -std=c++20 $flags -fsyntax-only -I "$work/prefix/include/mapplot" -x c++ - ||
    { echo "installed header ${header#./} does not compile on its own"; exit 1; }
done
# With CMake: the package's targets carry the C++ standard.
cmake -S "$here" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" > "$work/configure.log"
cmake --build "$work/build" > "$work/build.log"
mkdir "$work/run" && cd "$work/run"
"$work/build/consumer" > out.txt
check_output() {
  grep -qx '  Output in Map.ps' out.txt
  grep -qx '  Output in Map.dat' out.txt
  head -c 4 Map.ps | grep -q '%!PS'
  [ "$(head -n 1 Map.dat)" = $'           3           2           1\r' ]
}
check_output
# With pkg-config: the module finds the prefix it was installed under.
cd "$work"
c++ $flags "$here/consumer.cpp" -o "$work/consumer_pc" \
  $(PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" pkg-config --cflags --libs mapplot)
rm -rf "$work/run" && mkdir "$work/run" && cd "$work/run"
"$work/consumer_pc" > out.txt
check_output
echo "consumer: built against the installed package with CMake and with pkg-config, Map.ps and Map.dat written"
