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

# The package preset: the tree, the programs it builds and the generator.
bash scripts/configure.sh package
cmake --build --preset package -j "$(nproc)"
cpack --preset package

deb=$(ls build-deb/zarn-loader_*.deb)
echo "Built $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends
