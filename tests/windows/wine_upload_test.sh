#!/usr/bin/env bash
# zarn-upload.exe under wine against the Linux simulated STB, over a
# pseudo-terminal that wine maps to COM5, side by side with the Linux
# zarn-upload against the same simulator: the STB must receive the file byte
# for byte, and both builds must print the same log, the same boxes and end
# with the same exit status.
#
# Usage: wine_upload_test.sh CASE WIN_UPLOAD LINUX_UPLOAD LINUX_STB_SIM SAMPLES_DIR
#   CASE: zarn | dsp | dspfast | badid | ctrlc | rb | rbfast
# rb: the .DSP upload received by lrzsz's `rb --ymodem` behind socat instead
# of the simulator; rb's file must equal the original. The ...fast cases send
# with --fast, the acknowledgement-driven DSP transfer.
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
# Arguments after the file go to both uploads.
compare_upload() {
  local mode=$1 file=$2
  shift 2
  local options=("$@")
  start_sim "$mode" "$work/linux.bin"
  local linux_fd=$sim_fd
  timeout "$kUploadLimitSeconds" "$linux_upload" --port "$sim_device" "${options[@]}" "$file" \
    >"$work/linux.out" 2>"$work/linux.err"
  local linux_rc=$?
  start_sim "$mode" "$work/win.bin"
  local win_fd=$sim_fd
  ln -sfn "$sim_device" "$ZARN_WINE_COM5_LINK"
  timeout "$kUploadLimitSeconds" wine "$win_upload" --port COM5 "${options[@]}" "$file" \
    >"$work/win.out.crlf" 2>"$work/win.err.crlf"
  local win_rc=$?
  # The Windows C runtime ends text lines with CR LF.
  tr -d '\r' <"$work/win.out.crlf" >"$work/win.out"
  tr -d '\r' <"$work/win.err.crlf" >"$work/win.err"

  echo "--- zarn-upload.exe --port COM5 ${options[*]} $(basename "$file"): exit $win_rc"
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

# Runs an upload to an STB that stays silent and sends it SIGINT (which wine
# turns into a console Ctrl-C) once it waits for the STB. Sets run_rc.
interrupted_run() {
  local out=$1 err=$2
  shift 2
  local upload_fd upload_pid line
  exec {upload_fd}< <(exec "$@" 2>"$err")
  upload_pid=$!
  : >"$out"
  while read -r -t "$kUploadLimitSeconds" -u "$upload_fd" line; do
    printf '%s\n' "$line" >>"$out"
    [[ $line == "Waiting for STB..."* ]] && kill -INT "$upload_pid"
  done
  wait "$upload_pid"
  run_rc=$?
}

compare_interrupt() {
  # The STB would greet only after ten minutes.
  local silent=(--first-greeting-delay 600000)
  exec {linux_sim}< <(exec "$stb_sim" --no-link --once --quiet "${silent[@]}" 2>&1)
  sims+=("$!")
  read -r -t "$kSimStartLimitSeconds" -u "$linux_sim" line || fail "the simulator did not start"
  interrupted_run "$work/linux.out" "$work/linux.err" "$linux_upload" --port "${line#device: }" "$1"
  local linux_rc=$run_rc
  exec {win_sim}< <(exec "$stb_sim" --no-link --once --quiet "${silent[@]}" 2>&1)
  sims+=("$!")
  read -r -t "$kSimStartLimitSeconds" -u "$win_sim" line || fail "the simulator did not start"
  ln -sfn "${line#device: }" "$ZARN_WINE_COM5_LINK"
  interrupted_run "$work/win.out.crlf" "$work/win.err.crlf" wine "$win_upload" --port COM5 "$1"
  local win_rc=$run_rc
  tr -d '\r' <"$work/win.out.crlf" >"$work/win.out"
  tr -d '\r' <"$work/win.err.crlf" >"$work/win.err"
  echo "--- zarn-upload.exe interrupted while waiting: exit $win_rc"
  cat "$work/win.out" "$work/win.err"
  ((win_rc == 1)) || fail "zarn-upload.exe exited $win_rc, not 1"
  ((linux_rc == 1)) || fail "zarn-upload (Linux) exited $linux_rc, not 1"
  diff -u "$work/linux.out" "$work/win.out" || fail "stdout differs from the Linux build"
  diff -u "$work/linux.err" "$work/win.err" || fail "stderr differs from the Linux build"
}

# socat makes the pseudo-terminal and runs rb behind it, held back by a FIFO
# gate until the upload waits for first contact (rb's first 'C' comes at
# once, and the upload empties the port when it starts). Arguments after the
# file go to the upload.
upload_to_rb() {
  local source=$work/source/sample.dsp  # rb writes an all-capitals name in lower case
  mkdir -p "$work/source" "$work/rb"
  cp "$1" "$source"
  shift
  mkfifo "$work/rb/go"
  rm -f "$ZARN_WINE_COM5_LINK"
  (cd "$work/rb" && exec socat PTY,link="$ZARN_WINE_COM5_LINK",rawer \
    "SYSTEM:read gate < go; exec rb --ymodem" 2>"$work/rb.log") &
  local socat_pid=$!
  sims+=("$socat_pid")
  local tries=0
  # socat links the pseudo-terminal before it starts rb; nothing else says so.
  until [[ -e $ZARN_WINE_COM5_LINK ]]; do
    ((tries++ >= kSimStartLimitSeconds * 100)) && fail "socat made no pseudo-terminal"
    sleep 0.01
  done
  local upload_fd upload_pid line
  exec {upload_fd}< <(exec wine "$win_upload" --port COM5 "$@" "$source" 2>"$work/win.err.crlf")
  upload_pid=$!
  : >"$work/win.out.crlf"
  while read -r -t "$kUploadLimitSeconds" -u "$upload_fd" line; do
    printf '%s\n' "$line" >>"$work/win.out.crlf"
    [[ $line == "Waiting for STB..."* ]] && echo go >"$work/rb/go"
  done
  wait "$upload_pid"
  local win_rc=$?
  wait "$socat_pid"
  local rb_rc=$?
  tr -d '\r' <"$work/win.out.crlf"
  tr -d '\r' <"$work/win.err.crlf"
  ((win_rc == 0)) || fail "zarn-upload.exe exited $win_rc"
  ((rb_rc == 0)) || fail "socat and rb ended with $rb_rc"
  grep -qx "Download task terminated!!!" <(tr -d '\r' <"$work/win.out.crlf") || fail "no termination line"
  cmp "$source" "$work/rb/sample.dsp" || fail "rb did not receive the file byte for byte"
}

case $case_name in
  rb) upload_to_rb "$samples/sample.DSP" ;;
  rbfast) upload_to_rb "$samples/sample.DSP" --fast ;;
  zarn) compare_upload zarn "$samples/sample_app.ZARN" ;;
  dsp) compare_upload dsp "$samples/sample.DSP" ;;
  dspfast) compare_upload dsp "$samples/sample.DSP" --fast ;;
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
  ctrlc) compare_interrupt "$samples/sample_app.ZARN" ;;
  *) fail "unknown case $case_name" ;;
esac
echo "PASS"
