#!/usr/bin/env bash
# Configures one of the trees that CMakePresets.json describes, with ccache
# as the compiler launcher where the machine has it:
#   bash scripts/configure.sh PRESET [CMAKE ARGUMENTS...]
# e.g. bash scripts/configure.sh win64 -DZARN_MINGW_QT=<prefix>. The presets
# are listed by `cmake --list-presets`.
set -euo pipefail
cd "$(dirname "$0")/.."

if (($# < 1)); then
  echo "usage: scripts/configure.sh PRESET [CMAKE ARGUMENTS...]" >&2
  exit 2
fi
preset=$1
shift
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
exec cmake --preset "$preset" "${launcher[@]}" "$@"
