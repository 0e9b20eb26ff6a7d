#!/usr/bin/env bash
# Builds a static Qt 6 (Core, Gui, Widgets, Test) for 64-bit Windows from
# Debian's own qt6-base source, with the mingw-w64 cross compiler, and prints
# the folder it is installed in (the one to give CMake as CMAKE_PREFIX_PATH).
#
# The build takes 12-25 minutes on 2 cores, so the result is kept in a cache
# folder outside the checkout, keyed by the qt6-base and mingw g++ versions:
# later runs on the same machine only print the folder.
#   bash scripts/qt-mingw.sh            build (or reuse) and print the prefix
#   ZARN_QT_CACHE=/some/dir bash ...    another cache folder
# Needs root on a first run: it enables Debian's source lists and installs
# the packages it builds with.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cache=${ZARN_QT_CACHE:-/var/cache/zarn-loader/qt-mingw}
toolchain=$here/cmake/mingw-w64-x86_64.cmake

note() { echo "qt-mingw: $*" >&2; }

installed_version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || true; }

qt_version=$(installed_version qt6-base-dev)
gxx_version=$(installed_version g++-mingw-w64-x86-64-posix)
if [[ -z $qt_version || -z $gxx_version ]]; then
  note "qt6-base-dev and g++-mingw-w64-x86-64-posix must be installed first (scripts/install-deps.sh)"
  exit 1
fi
key="qt6-base_${qt_version}__mingw_${gxx_version}"
key=${key//[^A-Za-z0-9._+-]/_}
prefix=$cache/$key

if [[ -f $prefix/.complete ]]; then
  echo "$prefix"
  exit 0
fi

# Debian's source lists: the same mirrors and suites as the binary ones.
enable_deb_src() {
  if apt-get source --print-uris -qq "qt6-base=$qt_version" >/dev/null 2>&1; then return; fi
  local lists=/etc/apt/sources.list.d
  if [[ -f $lists/debian.sources ]]; then
    sed -e 's/^Types: deb$/Types: deb-src/' "$lists/debian.sources" >"$lists/zarn-deb-src.sources"
  fi
  if [[ -f /etc/apt/sources.list ]]; then
    sed -n 's/^deb \(.*debian.*\)$/deb-src \1/p' /etc/apt/sources.list >"$lists/zarn-deb-src.list"
  fi
  apt-get update -qq
}

build_qt() {
  local work=$cache/work-$key
  rm -rf "$work" "$prefix"
  mkdir -p "$work"
  enable_deb_src
  note "fetching qt6-base $qt_version source"
  (cd "$work" && apt-get source -qq "qt6-base=$qt_version" >/dev/null)
  local src
  src=$(find "$work" -maxdepth 1 -mindepth 1 -type d -name 'qt6-base-*' | head -n 1)
  [[ -n $src ]] || { note "no source folder after apt-get source"; exit 1; }

  # The host's Qt tools and CMake packages, where the host Qt says they are
  # (a multiarch system keeps the packages under its own lib folder).
  local host_prefix host_cmake
  host_prefix=$(qtpaths6 --query QT_HOST_PREFIX)
  host_cmake=$(qtpaths6 --query QT_HOST_LIBS)/cmake
  note "configuring (log: $work/configure.log)"
  mkdir -p "$work/build"
  # Tablet input is left out because Debian's source lacks its files; Direct2D
  # stays at its default since the Windows platform plugin needs it to link.
  if ! (cd "$work/build" && "$src/configure" -prefix "$prefix" \
      -xplatform win32-g++ -release -static -static-runtime \
      -nomake examples -nomake tests \
      -no-opengl -no-dbus -no-icu -no-pkg-config \
      -qt-zlib -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz -qt-pcre -qt-doubleconversion \
      -no-feature-sql -no-feature-network -no-feature-printsupport -no-feature-concurrent \
      -no-feature-xml -no-feature-vulkan -no-feature-tabletevent \
      -qt-host-path "$host_prefix" \
      -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
         -DQT_HOST_PATH_CMAKE_DIR="$host_cmake") >"$work/configure.log" 2>&1; then
    tail -n 40 "$work/configure.log" >&2
    note "configure failed"
    exit 1
  fi
  note "building (log: $work/build.log)"
  if ! cmake --build "$work/build" --parallel "$(nproc)" >"$work/build.log" 2>&1 ||
     ! cmake --install "$work/build" >>"$work/build.log" 2>&1; then
    tail -n 40 "$work/build.log" >&2
    note "build failed"
    exit 1
  fi
  touch "$prefix/.complete"
  rm -rf "$work"
}

build_qt
echo "$prefix"
