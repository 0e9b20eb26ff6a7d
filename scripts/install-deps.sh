#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
# Only what is missing is fetched, so a second run costs nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  dpkg-dev file
  qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-x11-0
  libgtest-dev libgmock-dev
  lrzsz socat
  g++-mingw-w64-x86-64-posix wine wine64 fonts-wine nsis
  xvfb xauth imagemagick x11-utils
  fonts-liberation fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
