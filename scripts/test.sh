#!/usr/bin/env bash
# Installs what is missing, builds four trees and runs every test:
#   build/        the whole suite, plain
#   build-asan/   the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer
#   build-tsan/   the serial engine, the task runner and the uploads under ThreadSanitizer
#   build-win64/  the core, zarn-upload.exe, the window zarn-loader.exe, the
#                 installer and their tests, cross-built with mingw-w64 against
#                 a static Qt (scripts/qt-mingw.sh) and run under wine,
#                 against peers from build/
# Each tree is a preset of CMakePresets.json (plain, asan, tsan, win64); the
# Windows tree runs only once build/ has built. Any failing test or sanitizer
# report makes the script exit non-zero. It ends with the summary of all four
# ctest runs.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh || exit 1

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:suppressions=$PWD/tests/asan.supp"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp"

declare -a summaries=()
status=0
total_passed=0
total_failed=0

# A command that ctest runs inside (the wine tree's session); empty otherwise.
declare -a ctest_inside=()

# A tree that did not get as far as its tests counts as one failure.
tree_not_run() {
  status=1
  total_failed=$((total_failed + 1))
  summaries+=("$1")
}

# Configures, builds and tests one tree of CMakePresets.json; returns non-zero
# when the tree did not build.
run_tree() {
  local dir=$1 preset=$2; shift 2
  echo "=== $dir: configure and build (preset $preset) ==="
  mkdir -p "$dir"
  if ! bash scripts/configure.sh "$preset" "$@" >"$dir/configure.log" 2>&1; then
    cat "$dir/configure.log"
    tree_not_run "$dir: configure failed (counted as one failure)"
    return 1
  fi
  if ! cmake --build --preset "$preset" -j "$jobs"; then
    tree_not_run "$dir: build failed (counted as one failure)"
    return 1
  fi
  echo "=== $dir: ctest ==="
  local log="$dir/ctest.log"
  "${ctest_inside[@]}" ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  ((rc != 0)) && status=1
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  summaries+=("$dir: ${line:-no summary}")
  [[ -z $line ]] && total_failed=$((total_failed + 1))
  if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    total_failed=$((total_failed + BASH_REMATCH[1]))
    total_passed=$((total_passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  fi
  return 0
}

# The trees' options are the presets'; run.sh configures build/ from the run
# preset, without tests, and the plain preset turns them on.
run_tree build-tsan tsan
run_tree build-asan asan
host_built=1
run_tree build plain || host_built=0

run_windows_tree() {
  # After build/: its zarn-stb-sim and zarn-upload are the Linux-side peers,
  # and a failed build/ would fail the wine tests for its own reasons.
  if ((!host_built)); then
    tree_not_run "build-win64: not run, as build/ (its Linux-side peers) did not build (counted as one failure)"
    return
  fi
  # The window's Windows build needs a static Qt for mingw-w64, built from
  # Debian's qt6-base source by qt-mingw.sh into a cache outside the checkout
  # (12-25 minutes the first time on a machine, seconds after that). Without
  # it the tree still builds and tests the Qt-free core, and the run fails.
  local -a win_qt=(-UZARN_MINGW_QT -DZARN_BUILD_GUI=OFF)
  local qt_prefix
  echo "=== Qt for mingw-w64 (scripts/qt-mingw.sh) ==="
  if qt_prefix=$(bash scripts/qt-mingw.sh); then
    echo "$qt_prefix"
    win_qt=(-DZARN_MINGW_QT="$qt_prefix")
  else
    echo "scripts/qt-mingw.sh FAILED: build-win64 goes without the window and its tests"
    tree_not_run "build-win64: no Qt for mingw-w64 (scripts/qt-mingw.sh failed, see above; counted as one failure)"
  fi
  ctest_inside=(bash scripts/wine-session.sh build-win64)
  run_tree build-win64 win64 "${win_qt[@]}"
  ctest_inside=()
}
run_windows_tree

echo
echo "=== summary ==="
for s in "${summaries[@]}"; do echo "$s"; done
echo "$total_passed passed, $total_failed failed"
exit $status
