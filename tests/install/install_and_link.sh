#!/usr/bin/env bash
# install_and_link.sh BUILD_DIR HOST_SOURCE SCRATCH
set -euo pipefail
build=$1 host=$2 scratch=$3
rm -rf "$scratch"
mkdir -p "$scratch"
cmake --install "$build" --prefix "$scratch/prefix" --component Unspecified > "$scratch/install.log"
test -f "$scratch/prefix/include/buslink/shell/Buslink.h"
test -f "$scratch/prefix/lib/cmake/buslink/buslinkConfig.cmake" || test -f "$scratch/prefix/lib/x86_64-linux-gnu/cmake/buslink/buslinkConfig.cmake"

# Through the CMake package.
cmake -S "$host" -B "$scratch/host-build" -G Ninja -DCMAKE_PREFIX_PATH="$scratch/prefix" > "$scratch/host-configure.log"
cmake --build "$scratch/host-build" > "$scratch/host-build.log"
libdir=$(dirname "$(find "$scratch/prefix" -name 'libbuslink.so*' | head -n 1)")
LD_LIBRARY_PATH="$libdir" "$scratch/host-build/buslink_host" | tee "$scratch/host-cmake.out"
grep -q "LRC FB" "$scratch/host-cmake.out"

# Through pkg-config.
export PKG_CONFIG_PATH="$libdir/pkgconfig"
c++ -std=c++17 -fPIC "$host/main.cpp" -o "$scratch/buslink_host_pc" $(pkg-config --cflags --libs buslink)
LD_LIBRARY_PATH="$libdir" "$scratch/buslink_host_pc" > "$scratch/host-pc.out"
cmp "$scratch/host-cmake.out" "$scratch/host-pc.out"
echo "installed library linked through CMake and pkg-config"
