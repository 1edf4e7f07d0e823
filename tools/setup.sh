#!/bin/bash
# Installs the Debian packages the project needs and builds it into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  g++ gfortran cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev giza-dev
  xvfb xauth x11-apps imagemagick ghostscript librsvg2-bin
  fonts-dejavu-core fontconfig libfreetype-dev libfontconfig-dev
  openbox xdotool
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libgif-dev
  clang-14 libclang-rt-14-dev libfuzzer-14-dev
  flang-19
  python3-dev pybind11-dev python3-numpy python3-pytest
  python3-pip python3-venv python3-setuptools python3-wheel python3-build mypy
  python3-nbclient python3-nbformat python3-ipykernel python3-pil
  libnetcdf-dev python3-netcdf4  # the NetCDF map file; python3-netcdf4 for its tests
  libopenmpi-dev openmpi-bin libnetcdf-mpi-dev python3-mpi4py
  python3-matplotlib  # bench/png_against_matplotlib.py only, never a test
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build
