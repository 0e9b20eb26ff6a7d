#!/usr/bin/env bash
# zarn-loader.exe under wine on a virtual X display, as a user would see it:
# waits for its window, grabs the screen (import -window root), cuts the
# window out and checks the look's pixel facts on it and on the Linux
# screenshot: the flat background, the memo's and the path edit's frames with
# the memo's ring inside, the progress bar's frame, and the title bar, whose
# rows must be the same pixels on both. Writes the window's picture to OUT.
# Usage: wine_screenshot.sh ZARN_LOADER_EXE LINUX_SCREENSHOT OUT.png
# Needs the suite's wine setup (scripts/wine-session.sh) and its X display.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

exe=$1 linux_shot=$2 out=$3
source "$here/wine_window.sh"
fail() { echo "FAIL: $*"; exit 1; }

# The skinned frame's border around the 487 x 384 client area.
readonly kBorder=3 kClientWidth=487 kClientHeight=384
readonly kWindowSize="$((kClientWidth + 2 * kBorder))x$((kClientHeight + 2 * kBorder))"

# Facts in client coordinates: "x,y colour" (colour "title" for the title bar
# rows, compared between the two pictures instead of with a colour).
readonly facts=(
  # the flat background between and below the controls
  "163,200 E8E8E8" "4,118 E8E8E8" "484,200 E8E8E8" "4,360 E8E8E8" "470,370 E8E8E8"
  # the memo's frame at its corners and edges, its ring inside, none outside
  "165,120 09206A" "480,304 09206A" "165,200 09206A" "300,120 09206A" "166,200 C0DCC0" "164,200 E8E8E8"
  # the path edit's frame
  "8,93 09206A" "480,114 09206A"
  # the progress bar's frame
  "8,312 7F7F7F" "480,336 7F7F7F" "8,325 7F7F7F" "200,312 7F7F7F"
  # the title bar's first and last rows and the row below it (the banner)
  "330,0 title" "330,27 title" "330,28 title" "400,13 title"
)

# Prints the colour at every fact's place in IMAGE (a picture of the window),
# one per line.
colours_of() {
  local format=
  for fact in "${facts[@]}"; do
    local at=${fact%% *}
    format+="%[hex:p{$((${at%,*} + kBorder)),$((${at#*,} + kBorder))}]\n"
  done
  convert "$1" -alpha off -format "$format" info:
}

# Compares the window's colours with the facts and with the Linux picture;
# prints what differs, returns 1 when anything does.
check_facts() {
  local wine_png=$1 wrong=0 i
  mapfile -t got < <(colours_of "$wine_png")
  mapfile -t linux < <(colours_of "$linux_shot")
  for i in "${!facts[@]}"; do
    local want=${facts[$i]#* }
    if [[ $want == title ]]; then
      [[ ${got[$i]:-} == "${linux[$i]:-}" ]] || { echo "  ${facts[$i]%% *}: wine ${got[$i]:-?}, Linux ${linux[$i]:-?}"; wrong=1; }
    else
      [[ ${got[$i]:-} == "$want" ]] || { echo "  ${facts[$i]%% *}: wine ${got[$i]:-?}, want $want"; wrong=1; }
      [[ ${linux[$i]:-} == "$want" ]] || { echo "  ${facts[$i]%% *}: Linux ${linux[$i]:-?}, want $want"; wrong=1; }
    fi
  done
  return $wrong
}

work=$(mktemp -d)
program=
cleanup() {
  [[ -n $program ]] && kill "$program" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

[[ $(identify -format %wx%h "$linux_shot") == "$kWindowSize" ]] || fail "the Linux screenshot is not $kWindowSize"

# The window is there, its size right, and painted: its pixel facts hold.
grab_and_check() {
  local geometry=$1
  [[ ${geometry%%+*} == "$kWindowSize" ]] || return 1
  import -window root "$work/screen.png" 2>/dev/null || return 1
  convert "$work/screen.png" -crop "$geometry" +repage "$work/window.png" || return 1
  check_facts "$work/window.png" >"$work/differences.txt"
}

wine "$exe" >"$work/program.log" 2>&1 &
program=$!
wait_for_window "$program" grab_and_check
case $? in
  0) ;;
  2) cat "$work/program.log"; fail "zarn-loader.exe ended before its window showed" ;;
  *)
    echo "window: $(window_geometry || echo none)"
    cat "$work/differences.txt" 2>/dev/null
    fail "no window with the look's pixel facts within $kWindowLimitSeconds s"
    ;;
esac
echo "window at $(window_geometry): every pixel fact holds under wine and on Linux"
cp "$work/window.png" "$out"
echo "wrote $out"
