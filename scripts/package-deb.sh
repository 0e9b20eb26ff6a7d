#!/usr/bin/env bash
# Builds the Debian package of the tool, zarn-loader_<version>_<arch>.deb,
# in build-deb/: the window, zarn-upload, zarn-stb-sim, the desktop entry and
# the icons, with the Qt 6 libraries, Qt's platform plugins and the window's
# fonts as dependencies. A release build of the tool alone: no tests, no
# benchmarks. Install it with
#   apt install ./build-deb/zarn-loader_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_TESTING=OFF "${launcher[@]}"
cmake --build build-deb -j "$(nproc)" --target zarn-loader zarn-upload zarn-stb-sim
(cd build-deb && cpack -G DEB)

deb=$(ls build-deb/zarn-loader_*.deb)
echo "Built $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends
