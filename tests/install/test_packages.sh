#!/usr/bin/env bash
# test_packages.sh BUILD_DIR SCRATCH
# Builds the Debian packages from the build, unpacks each into a scratch root and
# runs the programs from there.
set -euo pipefail
build=$1 scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch/debs" "$scratch/root"
(cd "$build" && cpack -G DEB -B "$scratch/debs" > "$scratch/cpack.log")
for package in libbuslink1 libbuslink-dev buslink-tools kestrel2; do
  deb=$(ls "$scratch"/debs/${package}_*.deb)
  dpkg-deb -x "$deb" "$scratch/root"
  dpkg-deb -f "$deb" Depends > "$scratch/$package.depends"
done
# Dependencies come from the shared libraries; ours are pinned to this version.
grep -q 'libqt6serialport6' "$scratch/libbuslink1.depends"
grep -q 'libbuslink1 (=' "$scratch/buslink-tools.depends"
grep -q 'libqt6widgets6' "$scratch/kestrel2.depends"
root=$scratch/root
for file in usr/bin/buslink-cli usr/bin/actuator-sim usr/bin/kestrel2 usr/share/man/man1/buslink-cli.1 \
            usr/share/applications/kestrel2.desktop usr/share/mime/packages/kestrel2-avc.xml \
            usr/include/buslink/Buslink.h; do
  test -e "$root/$file" || { echo "missing $file" >&2; exit 1; }
done
grep -q 'MimeType=application/x-kestrel2-avc;' "$root/usr/share/applications/kestrel2.desktop"
libdir=$(dirname "$(find "$root" -name 'libbuslink.so.1' | head -n 1)")
run() { QT_QPA_PLATFORM=offscreen LD_LIBRARY_PATH="$libdir" "$@"; }
run "$root/usr/bin/buslink-cli" --version | grep -q '1\.0\.'
run "$root/usr/bin/kestrel2" --version | grep -q '1\.0\.'
run "$root/usr/bin/actuator-sim" --version | grep -q '1\.0\.'
echo "packages built, unpacked and run"
