#!/usr/bin/env bash
# Builds the zip package and looks inside: zarn-upload.exe, zarn-stb-sim.exe,
# windows-check.ps1, README.txt and the samples at the top level, and the
# program from the zip runs under wine with nothing beside it.
# Usage: package_test.sh CPACK BUILD_TREE PACKAGE_NAME
set -uo pipefail
cpack=$1 tree=$2 name=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$tree" && "$cpack" -G ZIP -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
zip=$work/out/$name.zip
[[ -f $zip ]] || fail "no $name.zip"
unzip -q "$zip" -d "$work/unpacked" || fail "the zip does not unpack"
for member in zarn-upload.exe zarn-stb-sim.exe windows-check.ps1 README.txt samples/sample_app.ZARN \
  samples/sample.DSP; do
  [[ -f $work/unpacked/$name/$member ]] || fail "$member missing from the zip"
done
# Only the program, no DLLs: the runtime is linked in.
compgen -G "$work/unpacked/$name/*.dll" >/dev/null && fail "DLLs in the zip"
version=$(wine "$work/unpacked/$name/zarn-upload.exe" --version | tr -d '\r')
[[ $version == "zarn-upload (ZARN Multi-Loader V1.20)" ]] || fail "the packaged program says: $version"
unzip -l "$zip"
echo PASS
