#!/usr/bin/env bash
# zarn-upload.exe under wine against the Linux simulated STB, over a
# pseudo-terminal that wine maps to COM5, side by side with the Linux
# zarn-upload against the same simulator: the STB must receive the file byte
# for byte, and both builds must print the same log, the same boxes and end
# with the same exit status.
#
# Usage: wine_upload_test.sh CASE WIN_UPLOAD LINUX_UPLOAD LINUX_STB_SIM SAMPLES_DIR
#   CASE: zarn | dsp | badid
# Needs the suite's wine setup (scripts/wine-session.sh): WINEPREFIX, a
# running wineserver and ZARN_WINE_COM5_LINK, the link that COM5 names.
set -uo pipefail

case_name=$1 win_upload=$2 linux_upload=$3 stb_sim=$4 samples=$5
: "${ZARN_WINE_COM5_LINK:?run under scripts/wine-session.sh}"

# How long one upload may take at 115200 bps before the test gives up on it.
readonly kUploadLimitSeconds=120
# How long the simulator may take to name its pseudo-terminal.
readonly kSimStartLimitSeconds=10

work=$(mktemp -d)
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; exit 1; }

# Starts a simulator for one upload, its output on a pipe; sets sim_device
# and sim_fd.
start_sim() {
  local mode=$1 save=$2
  exec {sim_fd}< <(exec "$stb_sim" --mode "$mode" --no-link --once --quiet --save "$save" 2>&1)
  sims+=("$!")
  local line
  read -r -t "$kSimStartLimitSeconds" -u "$sim_fd" line || fail "the simulator did not start"
  sim_device=${line#device: }
  [[ $line == "device: "* ]] || fail "the simulator said: $line"
}

# Waits for the simulator on `fd` to report the image it saved.
wait_saved() {
  local fd=$1 line
  while read -r -t "$kUploadLimitSeconds" -u "$fd" line; do
    [[ $line == "saved: "* ]] && return 0
  done
  fail "the simulator saved no image"
}

# Runs one upload with the Linux build and one with the Windows build, each
# against its own simulator; compares what the STBs got and what was printed.
compare_upload() {
  local mode=$1 file=$2
  start_sim "$mode" "$work/linux.bin"
  local linux_fd=$sim_fd
  timeout "$kUploadLimitSeconds" "$linux_upload" --port "$sim_device" "$file" \
    >"$work/linux.out" 2>"$work/linux.err"
  local linux_rc=$?
  start_sim "$mode" "$work/win.bin"
  local win_fd=$sim_fd
  ln -sfn "$sim_device" "$ZARN_WINE_COM5_LINK"
  timeout "$kUploadLimitSeconds" wine "$win_upload" --port COM5 "$file" \
    >"$work/win.out.crlf" 2>"$work/win.err.crlf"
  local win_rc=$?
  # The Windows C runtime ends text lines with CR LF.
  tr -d '\r' <"$work/win.out.crlf" >"$work/win.out"
  tr -d '\r' <"$work/win.err.crlf" >"$work/win.err"

  echo "--- zarn-upload.exe --port COM5 $(basename "$file"): exit $win_rc"
  cat "$work/win.out"
  [[ -s $work/win.err ]] && { echo "--- stderr:"; cat "$work/win.err"; }
  ((win_rc == 0)) || fail "zarn-upload.exe exited $win_rc"
  ((linux_rc == 0)) || fail "zarn-upload (Linux) exited $linux_rc: $(cat "$work/linux.err")"
  diff -u "$work/linux.out" "$work/win.out" || fail "stdout differs from the Linux build"
  diff -u "$work/linux.err" "$work/win.err" || fail "stderr differs from the Linux build"
  # The simulator saves the image once the upload has finished on its side.
  wait_saved "$linux_fd"
  wait_saved "$win_fd"
  cmp "$file" "$work/win.bin" || fail "the STB did not receive the file byte for byte (wine)"
  cmp "$file" "$work/linux.bin" || fail "the STB did not receive the file byte for byte (Linux)"
}

case $case_name in
  zarn) compare_upload zarn "$samples/sample_app.ZARN" ;;
  dsp) compare_upload dsp "$samples/sample.DSP" ;;
  badid)
    # A port number that names no device: the serial layer's BadId message,
    # exit status 2, on both builds.
    readonly missing=COM250
    wine "$win_upload" --port "$missing" "$samples/sample_app.ZARN" >"$work/win.out" 2>"$work/win.err.crlf"
    win_rc=$?
    tr -d '\r' <"$work/win.err.crlf" >"$work/win.err"
    "$linux_upload" --port "$missing" "$samples/sample_app.ZARN" >"$work/linux.out" 2>"$work/linux.err"
    linux_rc=$?
    cat "$work/win.err"
    ((win_rc == 2)) || fail "zarn-upload.exe exited $win_rc, not 2"
    ((linux_rc == 2)) || fail "zarn-upload (Linux) exited $linux_rc, not 2"
    grep -qF "ie_BadId - Specified comport doesn't exist" "$work/win.err" || fail "no BadId message"
    diff -u "$work/linux.err" "$work/win.err" || fail "stderr differs from the Linux build"
    [[ -s $work/win.out ]] && fail "stdout is not empty"
    ;;
  *) fail "unknown case $case_name" ;;
esac
echo "PASS"
