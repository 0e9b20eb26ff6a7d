#!/usr/bin/env bash
# Builds every package of a release into dist/, from the presets of
# CMakePresets.json, with their SHA-256 sums:
#   dist/zarn-loader_<version>_<arch>.deb     Debian (scripts/package-deb.sh)
#   dist/zarn-upload-<version>-win64.zip      Windows: zarn-upload.exe, README, samples
#   dist/zarn-loader-<version>-setup.exe      Windows installer: the window and zarn-upload.exe
#   dist/SHA256SUMS                           check with: (cd dist && sha256sum -c SHA256SUMS)
# The Windows packages need the static Qt for mingw-w64 that
# scripts/qt-mingw.sh builds (once per machine, in a cache outside the
# checkout). Release builds of the tool alone: no tests, no benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/package-deb.sh

echo "=== Qt for mingw-w64 (scripts/qt-mingw.sh) ==="
qt_prefix=$(bash scripts/qt-mingw.sh)
echo "$qt_prefix"
# The Windows release tree: its build makes both programs and the installer,
# its package the zip.
bash scripts/configure.sh package-win64 -DZARN_MINGW_QT="$qt_prefix"
cmake --build --preset package-win64 -j "$(nproc)"
cpack --preset package-win64

rm -rf dist
mkdir dist
cp build-deb/zarn-loader_*.deb build-win64-package/zarn-upload-*-win64.zip \
  build-win64-package/zarn-loader-*-setup.exe dist/
(cd dist && sha256sum -- * >SHA256SUMS)
echo "=== dist/ ==="
cat dist/SHA256SUMS
