#!/usr/bin/env bash
# zarn-loader.exe under wine on desktops scaled to 100, 150 and 200 %: at 100
# and 150 % the window is its 493 x 390 pixels (the 487 x 384 client in the
# skin's border); at 200 % it is twice that, and every pixel of it is the
# 100 % window's pixel at half its coordinates.
# Usage: wine_high_dpi.sh ZARN_LOADER_EXE OUT_FOLDER
# Leaves the three pictures (100.png, 150.png, 200.png) and, when they differ,
# difference.png in OUT_FOLDER.
# Needs the suite's wine setup (scripts/wine-session.sh) and its X display;
# changes the prefix's DPI setting while it runs and puts 96 back at the end.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

exe=$1 out_folder=$2
source "$here/wine_window.sh"
fail() { echo "FAIL: $*"; exit 1; }

readonly kOneXSize=493x390 kTwoXSize=986x780
# How long the window may take to settle after it has its size (first paint).
readonly kSettleSeconds=2

work=$(mktemp -d)
program=
stop_program() {
  if [[ -n $program ]]; then
    kill "$program" 2>/dev/null
    wait "$program" 2>/dev/null
    program=
  fi
}
# Wine keeps the desktop's DPI in two places; both are set.
set_dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 &&
    wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
      /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
cleanup() {
  stop_program
  set_dpi 96
  rm -rf "$work"
}
trap cleanup EXIT

wanted_size=
has_wanted_size() { [[ ${1%%+*} == "$wanted_size" ]]; }

# Shows the window at DPI $1, expecting WIDTHxHEIGHT $2, and writes its
# picture to $3.
picture_at() {
  local dpi=$1 size=$2 out=$3 geometry
  set_dpi "$dpi" || fail "cannot set the DPI to $dpi"
  wanted_size=$size
  wine "$exe" >"$work/program-$dpi.log" 2>&1 &
  program=$!
  wait_for_window "$program" has_wanted_size
  case $? in
    0) ;;
    2) cat "$work/program-$dpi.log"; fail "zarn-loader.exe ended before its window showed at $dpi DPI" ;;
    *) fail "at $dpi DPI the window is $(window_geometry || echo missing), not $size" ;;
  esac
  # The pointer away from the window: a button under it would light up.
  xdotool mousemove 0 0 2>/dev/null
  sleep "$kSettleSeconds"
  geometry=$(window_geometry) || fail "the window went at $dpi DPI"
  import -window root "$work/screen.png" 2>/dev/null || fail "cannot grab the screen"
  convert "$work/screen.png" -crop "$geometry" +repage "$out" || fail "cannot cut out the window"
  [[ $(identify -format %wx%h "$out") == "$size" ]] || fail "the window at $dpi DPI lies partly off the screen ($geometry)"
  stop_program
  echo "$dpi DPI: window $geometry"
}

picture_at 96 "$kOneXSize" "$work/100.png"
picture_at 144 "$kOneXSize" "$work/150.png"
picture_at 192 "$kTwoXSize" "$work/200.png"

mkdir -p "$out_folder" && cp "$work"/1[05]0.png "$work/200.png" "$out_folder/"
convert "$work/100.png" -filter point -resize 200% "$work/100-doubled.png"
differing=$(compare -metric AE "$work/100-doubled.png" "$work/200.png" "$out_folder/difference.png" 2>&1)
((differing == 0)) || fail "$differing pixels of the 200 % window are not the 100 % window doubled"
echo "the 200 % window is the 100 % window with every pixel doubled"
