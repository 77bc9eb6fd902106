#!/usr/bin/env bash
# install_and_link.sh BUILD_DIR TESTS_INSTALL_DIR SCRATCH
# Installs the libraries and their development files into a scratch prefix and
# builds two small hosts against them, each through the CMake package and through
# pkg-config: a console host that must link no GUI library, and a windowed one.
set -euo pipefail
build=$1 here=$2 scratch=$3
rm -rf "$scratch"
mkdir -p "$scratch"
for component in libraries development; do
  cmake --install "$build" --prefix "$scratch/prefix" --component "$component" >> "$scratch/install.log"
done
inc="$scratch/prefix/include"
for public in Buslink PropertyBag IoDatabaseService Conversions DatabaseSchema Errors Widgets; do
  test -f "$inc/buslink/$public.h"
done
# Private headers stay private.
test ! -e "$inc/buslink/protocol/RtuFraming.h"
test ! -e "$inc/buslink/shell/DesignPages.h"
libdir=$(dirname "$(find "$scratch/prefix" -name 'libbuslink.so.1' | head -n 1)")
test -n "$libdir"
export PKG_CONFIG_PATH="$libdir/pkgconfig"
# The library's SONAME carries its major version.
objdump -p "$libdir/libbuslink.so.1" | grep -q 'SONAME *libbuslink.so.1$'
# Every public header stands on its own.
for public in "$inc"/buslink/*.h; do
  echo "#include <buslink/$(basename "$public")>" | c++ -std=c++17 -fPIC -fsyntax-only -x c++ - \
    $(pkg-config --cflags buslink-widgets)
done

run() { QT_QPA_PLATFORM=offscreen LD_LIBRARY_PATH="$libdir" "$@"; }
# Console host: through CMake and pkg-config, no Qt Gui or Widgets in what it loads.
cmake -S "$here/host" -B "$scratch/host-build" -G Ninja -DCMAKE_PREFIX_PATH="$scratch/prefix" > "$scratch/host-configure.log"
cmake --build "$scratch/host-build" > "$scratch/host-build.log"
run "$scratch/host-build/buslink_host" | tee "$scratch/host-cmake.out"
grep -q "LRC FB" "$scratch/host-cmake.out"
grep -q "design pages no" "$scratch/host-cmake.out"
grep -q "EditScanDatabase needs the buslink-widgets library" "$scratch/host-cmake.out"
c++ -std=c++17 -fPIC "$here/host/main.cpp" -o "$scratch/buslink_host_pc" $(pkg-config --cflags --libs buslink)
run "$scratch/buslink_host_pc" > "$scratch/host-pc.out"
cmp "$scratch/host-cmake.out" "$scratch/host-pc.out"
for host in "$scratch/host-build/buslink_host" "$scratch/buslink_host_pc"; do
  if LD_LIBRARY_PATH="$libdir" ldd "$host" | grep -E 'libQt6(Gui|Widgets)'; then
    echo "a console host loads a GUI library" >&2
    exit 1
  fi
done

# Windowed host: through CMake and pkg-config.
cmake -S "$here/widgets-host" -B "$scratch/widgets-build" -G Ninja -DCMAKE_PREFIX_PATH="$scratch/prefix" > "$scratch/widgets-configure.log"
cmake --build "$scratch/widgets-build" > "$scratch/widgets-build.log"
run "$scratch/widgets-build/buslink_widgets_host" | tee "$scratch/widgets-cmake.out"
grep -q "design pages yes" "$scratch/widgets-cmake.out"
grep -q "property page address 12" "$scratch/widgets-cmake.out"
c++ -std=c++17 -fPIC "$here/widgets-host/main.cpp" -o "$scratch/widgets_host_pc" $(pkg-config --cflags --libs buslink-widgets)
run "$scratch/widgets_host_pc" > "$scratch/widgets-pc.out"
cmp "$scratch/widgets-cmake.out" "$scratch/widgets-pc.out"
echo "installed libraries linked through CMake and pkg-config, console and windowed"
