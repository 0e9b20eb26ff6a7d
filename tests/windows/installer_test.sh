#!/usr/bin/env bash
# The Windows installer under wine, as a user would run it: installs silently
# (/S) into a folder of the test prefix, puts the programs, the README and
# the Start-menu shortcut (pointing at the window with its icon) in place;
# the installed zarn-loader.exe shows its window on a virtual X display and
# stays up until closed; the installed zarn-upload.exe runs; the uninstaller
# removes it all again, shortcut and Apps & features entry included. While the
# window runs, installer and uninstaller refuse to touch its files.
# Usage: installer_test.sh SETUP.exe
# Needs the suite's wine setup (scripts/wine-session.sh) and its X display.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
setup=$1
source "$here/wine_window.sh"
fail() { echo "FAIL: $*"; exit 1; }
: "${WINEPREFIX:?run under scripts/wine-session.sh}"

readonly folder='C:\zarn-installer-test'
readonly unix_folder=$WINEPREFIX/drive_c/zarn-installer-test
readonly menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/ZARN Multi-Loader"
readonly uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZARN Multi-Loader'

program=
trap '[[ -n $program ]] && kill "$program" 2>/dev/null' EXIT
rm -rf "$unix_folder"

# /D= must come last and unquoted.
wine "$setup" /S /D="$folder" || fail "the installer exited $?"
for f in zarn-loader.exe zarn-upload.exe README.txt Uninstall.exe samples/sample_app.ZARN samples/sample.DSP; do
  [[ -f $unix_folder/$f ]] || fail "$f was not installed"
done
compgen -G "$unix_folder/*.dll" >/dev/null && fail "DLLs were installed: the programs should need none"
shortcut="$menu/ZARN Multi-Loader.lnk"
[[ -f $shortcut ]] || fail "no Start-menu shortcut"
# The shortcut names the installed window program (for the target and for the icon).
grep -qa 'zarn-loader.exe' "$shortcut" || fail "the shortcut does not point at zarn-loader.exe"
wine reg query "$uninstall_key" /v DisplayIcon 2>/dev/null | tr -d '\r' | grep -q 'zarn-loader.exe,0' ||
  fail "no Apps & features entry with the program's icon"

version=$(wine "$unix_folder/zarn-upload.exe" --version | tr -d '\r')
[[ $version == "zarn-upload (ZARN Multi-Loader V1.20)" ]] || fail "the installed zarn-upload.exe says: $version"

# The installed window program: its window comes up and it stays up.
window_viewable() { [[ -n $1 ]]; }
wine "$unix_folder/zarn-loader.exe" &
program=$!
wait_for_window "$program" window_viewable
case $? in
  0) echo "the installed zarn-loader.exe shows its window at $(window_geometry)" ;;
  2) fail "the installed zarn-loader.exe ended before its window showed" ;;
  *) fail "no window from the installed zarn-loader.exe within $kWindowLimitSeconds s" ;;
esac
kill -0 "$program" 2>/dev/null || fail "the installed zarn-loader.exe ended with its window"

# While a copy runs, neither the installer nor the uninstaller touches a file:
# a silent run gives up with exit code 2.
stamp=$(stat -c %Y "$unix_folder/zarn-loader.exe")
touch -d '2001-01-01' "$unix_folder/README.txt"
wine "$setup" /S /D="$folder"
rc=$?
((rc == 2)) || fail "the installer exited $rc with zarn-loader.exe running, not 2"
[[ $(stat -c %Y "$unix_folder/README.txt") == $(date -d '2001-01-01' +%s) ]] ||
  fail "the installer replaced files while zarn-loader.exe ran"
wine "$unix_folder/Uninstall.exe" /S "_?=$folder"
rc=$?
((rc == 2)) || fail "the uninstaller exited $rc with zarn-loader.exe running, not 2"
[[ -f $unix_folder/zarn-loader.exe && $(stat -c %Y "$unix_folder/zarn-loader.exe") == "$stamp" ]] ||
  fail "the uninstaller touched zarn-loader.exe while it ran"
kill "$program"
wait "$program" 2>/dev/null
program=

# _?= runs the uninstaller in place, so wine returns when it has finished
# (else it copies itself to a temporary folder and returns at once); in place
# it cannot delete itself.
wine "$unix_folder/Uninstall.exe" /S "_?=$folder" || fail "the uninstaller exited $?"
left=$(cd "$unix_folder" && find . -mindepth 1 ! -name Uninstall.exe)
[[ -z $left ]] || fail "the uninstaller left: $left"
[[ -e $menu ]] && fail "the Start-menu folder is still there"
wine reg query "$uninstall_key" >/dev/null 2>&1 && fail "the Apps & features entry is still there"
rm -rf "$unix_folder"
echo PASS
