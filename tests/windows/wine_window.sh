# Shell functions for the tests that show zarn-loader.exe's window under wine
# on a virtual X display (xvfb-run). Sourced; needs DISPLAY and the suite's
# wine setup (scripts/wine-session.sh) with its X display.

# The window program takes Windows' own platform; a platform named for the
# Linux tests must not reach it.
unset QT_QPA_PLATFORM WINEQT_QPA_PLATFORM

# What the window's title says; wine names its X window after it.
readonly kWindowTitle="ZARN Multi-Loader V1.20"
# How long wine may take to start the program and show the window.
readonly kWindowLimitSeconds=60
# How often to look again while waiting for it.
readonly kLookAgainSeconds=0.2

# Prints "WIDTHxHEIGHT+X+Y" of the viewable top-level window titled
# kWindowTitle, or nothing.
window_geometry() {
  local id
  id=$(xwininfo -root -tree 2>/dev/null | awk -v t="\"$kWindowTitle\":" 'index($0, t) { print $1; exit }')
  [[ -n $id ]] || return 1
  xwininfo -id "$id" 2>/dev/null | awk '
    /Absolute upper-left X:/ { x = $4 } /Absolute upper-left Y:/ { y = $4 }
    /Width:/ { w = $2 } /Height:/ { h = $2 } /Map State: IsViewable/ { v = 1 }
    END { if (v) printf "%dx%d+%d+%d\n", w, h, x, y }' | grep .
}

# Waits until `check` (a command given the geometry) succeeds or the limit
# passes; the window must stay up meanwhile (its wine process is `pid`).
# Returns 1 at the limit, 2 when the program has ended.
wait_for_window() {
  local pid=$1 check=$2 geometry
  local deadline=$((SECONDS + kWindowLimitSeconds))
  while ((SECONDS < deadline)); do
    kill -0 "$pid" 2>/dev/null || return 2
    if geometry=$(window_geometry) && "$check" "$geometry"; then
      return 0
    fi
    sleep "$kLookAgainSeconds"
  done
  return 1
}
