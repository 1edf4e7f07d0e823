#!/bin/bash
# The project built with shared libraries (cmake -DBUILD_SHARED_LIBS=ON): the
# libraries, the Fortran module and the Python module alone, without tests.
# run.sh then checks the installed package from C++ and Fortran, and here
# the installed Python module loads the installed libraries and writes a
# data file, and its MPI module the same file from two ranks.
set -euo pipefail
source_dir="$1"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
build="$work/build"
cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
  -DMAPPLOT_BUILD_TESTS=OFF -DMAPPLOT_BUILD_BENCH=OFF > "$work/configure.log"
# What the package installs, and nothing else.
targets=(mapscreen mapps mapnc mapdata gfxwin mapfilm maparg rtl textfmt)
for optional in mapplot_fortran mapplot_fortran_flang mapplot_python mapplot_mpi mapnc_mpi \
                mapplot_fortran_mpi mapplot_python_mpi; do
  if grep -q "^build $optional: phony" "$build/build.ninja"; then targets+=("$optional"); fi
done
nice -n 10 cmake --build "$build" -j2 --target "${targets[@]}" > "$work/build.log" ||
  { tail -30 "$work/build.log"; exit 1; }
[ -e "$build/mapdata/libmapdata.so" ] || { echo "shared: no shared libraries built"; exit 1; }

bash "$here/run.sh" "$build"

if [[ " ${targets[*]} " != *" mapplot_python "* ]]; then
  echo "shared: no Python module built here; its check skipped"
  exit 0
fi
cmake --install "$build" --prefix "$work/prefix" > "$work/install.log"
module="$(find "$work/prefix" -name 'mapplot*.so' -path '*-packages/*')"
loaded="$(ldd "$module" | awk '$1 == "libmapdata.so" { print $3 }')"
[ -n "$loaded" ] && [ "$(realpath "$loaded")" = "$(realpath "$work/prefix/lib/libmapdata.so")" ] ||
  { ldd "$module"; echo "shared: the Python module does not load the installed libraries"; exit 1; }
python="$(sed -n 's/^Python3_EXECUTABLE:[A-Z]*=//p' "$build/CMakeCache.txt")"
mkdir "$work/run" && cd "$work/run"
PYTHONPATH="$(dirname "$module")" "$python" -c 'import mapplot
mapplot.dat_map([0.0, 1.0, 2.0], [0.0, 1.0], [[1.0, 2.0], [3.0, 4.0], [5.0, 6.0]])'
[ "$(head -n 1 Map.dat)" = $'           3           2           1\r' ]
echo "shared: the installed Python module writes Map.dat through the installed shared libraries"

# The MPI module beside it: two ranks, each with its half of the grid, write
# the same file.
if [[ " ${targets[*]} " != *" mapplot_python_mpi "* ]]; then
  echo "shared: no Python MPI module built here; its check skipped"
  exit 0
fi
mv Map.dat one_process.dat
PYTHONPATH="$(dirname "$module")" mpirun --oversubscribe --allow-run-as-root -np 2 "$python" -c '
import mapplot
from mpi4py import MPI
rank = MPI.COMM_WORLD.Get_rank()
x, z = ([0.0, 1.0], [[1.0, 2.0], [3.0, 4.0]]) if rank == 0 else ([2.0], [[5.0, 6.0]])
mapplot.dat_map(x, [0.0, 1.0], z, comm=MPI.COMM_WORLD, offset=(2 * rank, 0))'
cmp Map.dat one_process.dat
echo "shared: the installed Python MPI module writes the same Map.dat from two ranks"
