#!/usr/bin/env bash
# Fails when a POSIX-only header is included outside the simulator, the tests and
# the benchmarks, unless the include sits inside a platform guard (#ifdef Q_OS_...)
# beside a portable path. The library, the command-line host and the tool must
# build wherever Qt does.
set -euo pipefail
cd "$(dirname "$0")/.."
posix='unistd\.h|termios\.h|pty\.h|fcntl\.h|poll\.h|pthread\.h|dlfcn\.h|sys/[a-z_/]+\.h|strings\.h|syslog\.h|pwd\.h|grp\.h'
found=0
while IFS= read -r file; do
  awk -v file="$file" -v posix="$posix" '
    /^[ \t]*#[ \t]*if/ { depth++; guarded[depth] = ($0 ~ /Q_OS_/) }
    /^[ \t]*#[ \t]*endif/ { delete guarded[depth]; depth-- }
    $0 ~ "^[ \t]*#[ \t]*include[ \t]*<(" posix ")>" {
      inside = 0
      for (d = 1; d <= depth; d++) if (guarded[d]) inside = 1
      if (!inside) { print file ": " $0; bad = 1 }
    }
    END { exit bad }' "$file" || found=1
done < <(git ls-files 'buslink/*.cpp' 'buslink/*.h' 'kestrel2/*.cpp' 'kestrel2/*.h' 'tools/buslink-cli/*.cpp' 'tools/buslink-cli/*.h')
if [ "$found" -ne 0 ]; then
  echo "POSIX-only headers outside a platform guard (see above): use Qt's own calls instead" >&2
  exit 1
fi
echo "no POSIX-only headers outside platform guards"
