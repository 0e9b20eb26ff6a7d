#!/usr/bin/env bash
# Runs a Qt Test program under wine and prints its report. Wine keeps Qt's
# own output from the caller (it hides the QT_* variables, and a Windows
# program's test log does not reach the pipe), so the report goes to a file
# (QtTest's -o) printed afterwards, and Qt's messages go to standard error
# (WINEQT_* reaches the program as QT_*). The exit status is the program's:
# the number of failed cases.
#
# The platform is offscreen unless named. On Windows the offscreen platform
# reads its fonts from a folder (the prefix's font folder here), not from
# Windows' font system; a test about the window's fonts names "windows",
# which draws on the session's X display with the faces Windows resolves.
# Usage: run_qt_test.sh [--platform NAME] PROGRAM.exe [QTEST ARGS...]
set -uo pipefail
platform=offscreen
if [[ ${1:-} == --platform ]]; then
  platform=$2
  shift 2
fi
program=$1
shift
report=$(mktemp --suffix=.txt)
trap 'rm -f "$report"' EXIT
export WINEQT_FORCE_STDERR_LOGGING=1
export WINEQT_QPA_FONTDIR='C:\windows\Fonts'
# Wine's drive Z: is the Linux root.
wine "$program" -platform "$platform" -o "Z:${report//\//\\},txt" "$@"
rc=$?
tr -d '\r' <"$report"
exit $rc
