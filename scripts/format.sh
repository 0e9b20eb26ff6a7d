#!/usr/bin/env bash
# Formats every C++ source git tracks with clang-format and the .clang-format
# files of the tree; with --check, changes nothing and exits 1 when a file
# differs from its formatted self (the plain test tree runs this).
# zarn-artwork's generated sources stay as it writes them.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t sources < <(git ls-files '*.cpp' '*.h' | grep -v '^main_window/pictures/ConnectedGlyphData\.cpp$')
if [[ ${1:-} == --check ]]; then
  clang-format --dry-run --Werror "${sources[@]}"
else
  clang-format -i "${sources[@]}"
fi
