#!/usr/bin/env bash
# Installs the Debian packages the project needs to build, run and test, when missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config ccache clang dpkg-dev file
  qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev libqt6sql6-sqlite libgl-dev
  libmodbus-dev mbpoll python3 python3-pymodbus python3-serial python3-serial-asyncio socat sqlite3 poppler-utils groff-base
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
