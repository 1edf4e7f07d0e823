#!/bin/bash
# Installs the build into a temporary prefix (not the one configured), checks
# that the installed headers are the public ones, each compiling alone, builds
# the consumer program against it with find_package and with pkg-config, runs
# both and checks the files they write, and the data file program with the
# package's component "files" alone, Qt hidden (files/); then the same for the
# Fortran programs (fortran/), whose files must be those of the same calls
# from C++, built with the package's Fortran compiler and, where flang is
# installed, with flang; the program of mapplot_files alone must link no Qt
# library. Static libraries must go into a shared library of the user's (a
# ctypes wrapper, loaded from Python).
set -euo pipefail
build="$1"
flags="${2:-}"  # compiler and linker flags the installed libraries need
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" > "$work/install.log"
# Shared libraries (BUILD_SHARED_LIBS): a program linked with pkg-config's
# flags is told where they lie; CMake tells its programs itself.
rpath=""
if [ -e "$work/prefix/lib/libmapdata.so" ]; then
  libdir="$(PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" pkg-config --variable=libdir mapplot)"
  rpath="-Wl,-rpath,$libdir"
fi
# The installed headers need neither Qt's nor giza's.
if grep -rqE '#include [<"](Q|cpgplot|giza)' "$work/prefix/include"; then
  echo "an installed header includes Qt or giza"; exit 1
fi
# The installed headers are the public ones: each project header (a file of
# the source tree) that an installed header includes is installed too, and
# each installed header is the umbrella header, one of the windowing
# runtime's, or one they include. The Fortran module's installed sources
# include only installed headers (those beside them, or the public ones).
source_dir="$(cd "$here/../.." && pwd)"
include="$work/prefix/include/mapplot"
included() {  # included FILE FOLDER: the project headers FILE, of FOLDER in the source tree, includes
  local name
  sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^">]+)[">].*/\1/p' "$1" |
    while read -r name; do
      if [ -f "$source_dir/$name" ]; then echo "$name"
      elif [ -f "$source_dir/$2/$name" ]; then echo "$2/$name"; fi
    done
}
check_included() {  # check_included TREE [OTHER_TREE]: what TREE's files include lies in either
  local file name
  for file in $(cd "$1" && find . -type f \( -name '*.h' -o -name '*.cpp' \) | sed 's#^\./##' | sort); do
    for name in $(included "$1/$file" "$(dirname "$file")"); do
      [ -f "$1/$name" ] || [ -f "${2:-$1}/$name" ] ||
        { echo "consumer: the installed $file includes $name, which is not installed"; return 1; }
    done
  done
}
check_included "$include"
if [ -d "$work/prefix/share/mapplot" ]; then check_included "$work/prefix/share/mapplot" "$include"; fi
reached=(mapplot.h gfxwin/graphics.h gfxwin/runtime.h gfxwin/map_values.h)
mpi=""  # the component "mpi", where the package was built with MPI
if [ -f "$include/mapmpi/mpi_map.h" ]; then mpi=yes; reached+=(mapmpi/mpi_map.h); fi
for ((i = 0; i < ${#reached[@]}; ++i)); do
  for name in $(included "$include/${reached[i]}" "$(dirname "${reached[i]}")"); do
    [[ " ${reached[*]} " == *" $name "* ]] || reached+=("$name")
  done
done
for header in $(cd "$include" && find . -name '*.h' | sed 's#^\./##' | sort); do
  [[ " ${reached[*]} " == *" $header "* ]] ||
    { echo "consumer: $header is installed, but no public header includes it"; exit 1; }
done
# Each installed header compiles on its own.
for header in $(cd "$work/prefix/include/mapplot" && find . -name '*.h' | sort); do
  header_flags=""
  if [[ "$header" == ./mapmpi/* ]]; then header_flags="$(pkg-config --cflags mpi-cxx)"; fi
  echo "#include \"${header#./}\"" |
    c++ -std=c++20 $flags $header_flags -fsyntax-only -I "$work/prefix/include/mapplot" -x c++ - ||
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
c++ $flags "$here/consumer.cpp" -o "$work/consumer_pc" $rpath \
  $(PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" pkg-config --cflags --libs mapplot)
rm -rf "$work/run" && mkdir "$work/run" && cd "$work/run"
"$work/consumer_pc" > out.txt
check_output
echo "consumer: built against the installed package with CMake and with pkg-config, Map.ps and Map.dat written"

# The component "mpi": a program of two ranks, each with its part of the
# grid, writes the consumer's Map.dat.
if [ -n "$mpi" ]; then
  fortran_mpi=OFF
  if [ -d "$include/fortran_mpi" ]; then fortran_mpi=ON; fi
  cmake -S "$here/mpi" -B "$work/mpi" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
    -DMAPPLOT_CONSUMER_FORTRAN=$fortran_mpi -DCMAKE_Fortran_FLAGS="$flags" \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" > "$work/mpi.log" 2>&1 &&
    cmake --build "$work/mpi" >> "$work/mpi.log" 2>&1 || { cat "$work/mpi.log"; exit 1; }
  mkdir "$work/mpi_run" && cd "$work/mpi_run"
  ASAN_OPTIONS=detect_leaks=0 mpirun --oversubscribe --allow-run-as-root -np 2 \
    "$work/mpi/mpi_consumer" > out.txt
  [ "$(grep -c '  Output in Map.dat' out.txt)" -eq 1 ] || { cat out.txt; exit 1; }
  cmp Map.dat "$work/run/Map.dat"
  echo "consumer: an MPI program of two ranks built with the component mpi, the same Map.dat"
  if [ "$fortran_mpi" = ON ]; then
    mkdir "$work/fortran_mpi_run" && cd "$work/fortran_mpi_run"
    ASAN_OPTIONS=detect_leaks=0 mpirun --oversubscribe --allow-run-as-root -np 4 \
      "$work/mpi/fortran_mpi_map" > out.txt
    [ "$(grep -c '  Output in Map.dat' out.txt)" -eq 1 ] && grep -qx '  Output in spread.ps' out.txt ||
      { cat out.txt; exit 1; }
    [ "$(head -n 1 Map.dat)" = $'          40          30           1\r' ]
    if ldd "$work/mpi/fortran_mpi_map" | grep -q 'libnetcdf\.so'; then
      echo "consumer: the Fortran MPI program loads the one-process NetCDF"; exit 1
    fi
    echo "consumer: the Fortran MPI example of four ranks built with the component mpi"
  fi
fi

# The data file program with the component "files" alone and Qt hidden from
# CMake: the package looks for no Qt (it would fail) and the program links
# none. Asked for the component "screen" too, the same project is refused for
# want of Qt, so Qt was hidden indeed; with "screen" optional, it is left out.
files_configure() {  # files_configure FOLDER [CMAKE ARGUMENTS...]
  local folder="$1"; shift
  cmake -S "$here/files" -B "$folder" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
    -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" "$@" > "$folder.log" 2>&1
}
files_configure "$work/files" || { cat "$work/files.log"; exit 1; }
grep -q 'mapplot: files TRUE, screen FALSE' "$work/files.log"
cmake --build "$work/files" > "$work/files_build.log"
if ldd "$work/files/data_file" | grep -q libQt; then echo "consumer: the files program links Qt"; exit 1; fi
mkdir "$work/files_run" && cd "$work/files_run"
"$work/files/data_file" > out.txt
grep -q '^read 40 x 30 values' out.txt
[ "$(head -n 1 bump.dat)" = $'          40          30           1\r' ]
if files_configure "$work/screen" -DMAPPLOT_COMPONENTS=screen; then
  echo "consumer: the component screen found with Qt hidden"; exit 1
fi
grep -q 'Qt6' "$work/screen.log" || { cat "$work/screen.log"; exit 1; }
files_configure "$work/optional" "-DMAPPLOT_COMPONENTS=OPTIONAL_COMPONENTS;screen" ||
  { cat "$work/optional.log"; exit 1; }
grep -q 'mapplot: files TRUE, screen FALSE' "$work/optional.log"
echo "consumer: the data file program built with the component files alone, Qt hidden, links no Qt"

# From Fortran: a project that enables Fortran alone, and the Fortran compiler
# with pkg-config; both write what the same calls from C++ write, byte for byte.
if [ ! -f "$work/prefix/include/mapplot/fortran/mapplot.mod" ]; then
  echo "consumer: the package holds no Fortran module (built without a Fortran compiler); Fortran skipped"
  exit 0
fi
fortran="$here/fortran"
cmake -S "$fortran" -B "$work/fbuild" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_Fortran_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" > "$work/fconfigure.log"
cmake --build "$work/fbuild" > "$work/fbuild.log"
export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig"
mkdir "$work/pc" && cd "$work/pc"  # away from any module file but the installed one
"${FC:-gfortran}" $flags "$fortran/app.f90" -o app $rpath \
  $(pkg-config --cflags --libs mapplot-fortran)
"${FC:-gfortran}" $flags "$fortran/files_app.f90" -o files_app $rpath \
  $(pkg-config --cflags --libs mapplot-fortran-files)
c++ $flags "$fortran/twin.cpp" -o twin $rpath $(pkg-config --cflags --libs mapplot)
run_in() {  # run_in FOLDER PROGRAM: runs it there and checks its console lines
  mkdir "$1" && cd "$1"
  "$2" > out.txt
  grep -qx '  Output in out.png' out.txt
  grep -qx '  Output in Map.dat' out.txt
}
# The program of mapplot_files alone: no Qt library, the file read back, the
# failed write a status.
run_files_app_in() {  # run_files_app_in FOLDER PROGRAM
  if ldd "$2" | grep -q libQt; then echo "consumer: $2 links Qt"; exit 1; fi
  run_in "$1" "$2"
  grep -qx ' read back 5 3 15' out.txt
  grep -qx ' stat 1: log10: SING error' out.txt
}
run_in "$work/from_cmake" "$work/fbuild/app"
run_in "$work/from_pc" "$work/pc/app"
run_in "$work/from_cpp" "$work/pc/twin"
run_files_app_in "$work/files_from_cmake" "$work/fbuild/files_app"
run_files_app_in "$work/files_from_pc" "$work/pc/files_app"
for file in out.png Map.dat; do
  for from in from_cmake from_pc files_from_cmake files_from_pc; do
    cmp "$work/from_cpp/$file" "$work/$from/$file"
  done
done
echo "consumer: Fortran programs built against the installed package with CMake (Fortran alone)" \
  "and with pkg-config, out.png and Map.dat as from C++; mapplot_files alone links no Qt"

# A shared library of the user's own over the static libraries (which must
# be position-independent for it), loaded by Python through ctypes.
if [ -z "$flags" ] && [ ! -e "$work/prefix/lib/libmapdata.so" ]; then
  mkdir "$work/wrapper" && cd "$work/wrapper"
  "${FC:-gfortran}" -shared -fPIC "$fortran/wrapper.f90" -o libwrapper.so \
    $(pkg-config --cflags --libs mapplot-fortran-files)
  python3 -c 'import ctypes; ctypes.CDLL("./libwrapper.so").write_map()' > out.txt
  grep -qx '  Output in Map.dat' out.txt
  cmp Map.dat "$work/from_cpp/Map.dat"
  echo "consumer: a shared library of the user's over the static libraries, called from Python"
fi

# From a program of another Fortran compiler, flang where it is installed: the
# package builds the module and its C entry layer from their installed sources
# with that compiler; the files are again those of the C++ calls.
flang=""
for name in flang flang-new flang-new-19; do
  if command -v "$name" > /dev/null; then flang="$(command -v "$name")"; break; fi
done
if [ -z "$flang" ]; then
  echo "consumer: no flang installed (flang, flang-new or flang-new-19);" \
    "the Fortran program of another compiler skipped"
  exit 0
fi
if [ -n "$flags" ]; then  # the plain build's test builds it
  echo "consumer: flang takes no sanitizer flags ($flags);" \
    "the Fortran program of another compiler skipped"
  exit 0
fi
cmake -S "$fortran" -B "$work/flang_build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_Fortran_COMPILER="$flang" > "$work/flang_build.log" 2>&1 &&
  cmake --build "$work/flang_build" >> "$work/flang_build.log" 2>&1 ||
  { cat "$work/flang_build.log"; echo "consumer: the program of $flang did not build"; exit 1; }
run_in "$work/from_flang" "$work/flang_build/app"
run_files_app_in "$work/files_from_flang" "$work/flang_build/files_app"
for file in out.png Map.dat; do
  cmp "$work/from_cpp/$file" "$work/from_flang/$file"
  cmp "$work/from_cpp/$file" "$work/files_from_flang/$file"
done
echo "consumer: Fortran programs of $flang built against the installed package with CMake," \
  "out.png and Map.dat as from C++"

# The module prebuilt for flang: a flang program links it with pkg-config as
# a gfortran program links the module of the build's own compiler.
if [ -f "$PKG_CONFIG_PATH/mapplot-fortran-flang.pc" ]; then
  mkdir "$work/flang_pc" && cd "$work/flang_pc"
  "$flang" "$fortran/app.f90" -o app $rpath $(pkg-config --cflags --libs mapplot-fortran-flang)
  "$flang" "$fortran/files_app.f90" -o files_app $rpath \
    $(pkg-config --cflags --libs mapplot-fortran-files-flang)
  run_in "$work/from_flang_pc" "$work/flang_pc/app"
  run_files_app_in "$work/files_from_flang_pc" "$work/flang_pc/files_app"
  for file in out.png Map.dat; do
    cmp "$work/from_cpp/$file" "$work/from_flang_pc/$file"
    cmp "$work/from_cpp/$file" "$work/files_from_flang_pc/$file"
  done
  # Options of any kind: the program of the kinds test built by gfortran as
  # it is and by flang with default integers and reals of kind 8, the same files.
  "${FC:-gfortran}" "$source_dir/fortran/kinds_program.f90" -o kinds $rpath \
    $(pkg-config --cflags --libs mapplot-fortran-files)
  "$flang" -fdefault-integer-8 -fdefault-real-8 "$source_dir/fortran/kinds_program.f90" \
    -o kinds8 $rpath $(pkg-config --cflags --libs mapplot-fortran-files-flang)
  "$source_dir/fortran/kinds_test.sh" ./kinds ./kinds8
  echo "consumer: Fortran programs of $flang built with pkg-config against the module prebuilt" \
    "for flang, out.png and Map.dat as from C++, and the files of options of kind 8 as gfortran's"
elif pkg-config --print-variables mapplot-fortran > /dev/null &&
     grep -q 'for LLVMFlang' "$PKG_CONFIG_PATH/mapplot-fortran.pc"; then
  echo "consumer: the package's own module is flang's; no second one prebuilt"
else
  echo "consumer: $flang is installed but the package holds no module prebuilt for flang"; exit 1
fi

# The library as built reads its own compiler's descriptors only: flang's
# module linked to it is refused with a message, before any file is written.
mkdir "$work/foreign" && cd "$work/foreign"
for source in mapplot_internal mapplot_files mapplot; do
  "$flang" -c "$work/prefix/share/mapplot/fortran/$source.f90"
done
# The library's own Fortran part needs its compiler's run-time library.
"$flang" "$fortran/app.f90" mapplot.o mapplot_files.o mapplot_internal.o -o app $rpath \
  $(pkg-config --libs mapplot-fortran) "$(gfortran -print-file-name=libgfortran.so)"
if ./app > out.txt 2> err.txt; then
  echo "consumer: flang's descriptors were read by the library built for another compiler"; exit 1
fi
grep -q "Fortran array descriptor not laid out by .*: build the module mapplot with" err.txt ||
  { cat err.txt; echo "consumer: flang's descriptors refused without the message"; exit 1; }
if [ -e out.png ] || [ -e Map.dat ]; then
  echo "consumer: a file written from flang's descriptors"; exit 1
fi
echo "consumer: flang's module linked to the library as built is refused: $(cat err.txt)"
