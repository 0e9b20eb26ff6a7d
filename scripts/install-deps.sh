#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
# Only what is missing is fetched, so a second run costs nothing.
#   bash scripts/install-deps.sh        everything the test command needs
#   bash scripts/install-deps.sh run    only what building and starting the window needs
set -euo pipefail

# The window, the simulator and a virtual display for a machine without one.
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-x11-0
  xvfb xauth imagemagick
  fonts-liberation fonts-dejavu-core
)
if [[ ${1:-all} != run ]]; then
  packages+=(
    dpkg-dev file
    libgtest-dev libgmock-dev
    lrzsz socat
    g++-mingw-w64-x86-64-posix wine wine64 fonts-wine nsis
    x11-utils xdotool
    clang-format
  )
fi

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
