#!/usr/bin/env bash
# zarn-upload.exe on COM5 against zarn-stb-sim.exe on COM6, both under wine,
# the two ports joined by a pseudo-terminal pair (socat) as a virtual
# null-modem pair joins them on Windows: the STB must receive the file byte
# for byte, under its bare name for a .DSP file, and zarn-upload.exe must
# print what the Linux zarn-upload prints against the Linux simulator, with
# the same exit status. The simulator saves what it received into a folder
# named outside the ANSI code page, as a Windows user types the path.
#
# Usage: wine_stb_sim_test.sh CASE WIN_UPLOAD WIN_STB_SIM LINUX_UPLOAD LINUX_STB_SIM SAMPLES_DIR
#   CASE: zarn | dsp | usage
# usage: zarn-stb-sim.exe refuses a pseudo-terminal line (exit 2, naming
# --com), explains itself on --help, and names a COM port it cannot open
# (exit 1).
# Needs the suite's wine setup (scripts/wine-session.sh): WINEPREFIX, a
# running wineserver and ZARN_WINE_COM5_LINK / ZARN_WINE_COM6_LINK, the links
# that COM5 and COM6 name.
set -uo pipefail

case_name=$1 win_upload=$2 win_stb_sim=$3 linux_upload=$4 linux_stb_sim=$5 samples=$6
: "${ZARN_WINE_COM5_LINK:?run under scripts/wine-session.sh}"
: "${ZARN_WINE_COM6_LINK:?run under scripts/wine-session.sh}"

# How long one upload may take before the test gives up on it.
readonly kUploadLimitSeconds=120
# How long a simulator may take to name its line, and socat its two.
readonly kStartLimitSeconds=20
# Wine hands the command line to Windows in UTF-16 from the Unix locale's
# encoding.
export LC_ALL=C.UTF-8
readonly kReceivedFolder=$'\u041f\u0440\u0438\u0451\u043c \u63a5\u6536'

source "$(dirname "$0")/wine_test_scratch.sh"

# The null-modem pair: socat joins two fresh pseudo-terminals, which the
# COM5 and COM6 links name. It reports the transfer loop once both are open
# and linked.
start_pair() {
  rm -f "$ZARN_WINE_COM5_LINK" "$ZARN_WINE_COM6_LINK"
  exec {pair_fd}< <(exec socat -d -d PTY,link="$ZARN_WINE_COM5_LINK",raw,echo=0 \
    PTY,link="$ZARN_WINE_COM6_LINK",raw,echo=0 2>&1)
  children+=("$!")
  local line
  while read -r -t "$kStartLimitSeconds" -u "$pair_fd" line; do
    [[ $line == *"starting data transfer loop"* ]] && return 0
  done
  fail "socat did not join the pair"
}

# Reads the simulator's lines from `fd` until it has saved an upload; sets
# saved_name (a .DSP transfer's name, "" for a ZARN image) and saved_path.
wait_saved() {
  local fd=$1 line
  saved_name= saved_path=
  while read -r -t "$kUploadLimitSeconds" -u "$fd" line; do
    line=${line%$'\r'}
    [[ $line == "name: "* ]] && saved_name=${line#name: }
    if [[ $line == "saved: "* ]]; then
      saved_path=${line#saved: }
      return 0
    fi
  done
  fail "the simulator saved no image"
}

# The Linux build against the Linux simulator: the output to compare with.
linux_upload_run() {
  local mode=$1 file=$2 line
  exec {linux_fd}< <(exec "$linux_stb_sim" --mode "$mode" --no-link --once --quiet \
    --save "$work/linux.bin" 2>&1)
  children+=("$!")
  read -r -t "$kStartLimitSeconds" -u "$linux_fd" line || fail "the Linux simulator did not start"
  [[ $line == "device: "* ]] || fail "the Linux simulator said: $line"
  timeout "$kUploadLimitSeconds" "$linux_upload" --port "${line#device: }" "$file" \
    >"$work/linux.out" 2>"$work/linux.err"
  linux_rc=$?
  wait_saved "$linux_fd"
  cmp "$file" "$work/linux.bin" || fail "the Linux STB did not receive the file byte for byte"
}

upload_through_pair() {
  local mode=$1 file=$2 line
  linux_upload_run "$mode" "$file"

  start_pair
  mkdir -p "$work/$kReceivedFolder"
  local received=$work/$kReceivedFolder/win.bin
  local win_received
  win_received=$(windows_path "$received")
  [[ $win_received == [A-Z]:\\*"\\$kReceivedFolder\\win.bin" ]] ||
    fail "winepath gave '$win_received' for $received"
  exec {sim_fd}< <(exec wine "$win_stb_sim" --com COM6 --mode "$mode" --once --quiet \
    --save "$win_received" 2>&1)
  local sim_pid=$!
  children+=("$sim_pid")
  read -r -t "$kStartLimitSeconds" -u "$sim_fd" line || fail "zarn-stb-sim.exe did not start"
  line=${line%$'\r'}
  [[ $line == "device: COM6" ]] || fail "zarn-stb-sim.exe said: $line"

  local win_file
  win_file=$(windows_path "$file")
  timeout "$kUploadLimitSeconds" wine "$win_upload" --port COM5 "$win_file" \
    >"$work/win.out.crlf" 2>"$work/win.err.crlf"
  local win_rc=$?
  strip_crlf win.out win.err
  echo "--- zarn-upload.exe --port COM5 $win_file (zarn-stb-sim.exe on COM6): exit $win_rc"
  cat "$work/win.out"
  [[ -s $work/win.err ]] && { echo "--- stderr:"; cat "$work/win.err"; }

  wait_saved "$sim_fd"
  [[ $saved_path == "$win_received" ]] || fail "zarn-stb-sim.exe saved to '$saved_path'"
  # --once: the simulator ends by itself after the upload.
  wait "$sim_pid"
  local sim_rc=$?
  ((sim_rc == 0)) || fail "zarn-stb-sim.exe exited $sim_rc"

  ((win_rc == linux_rc)) || fail "zarn-upload.exe exited $win_rc, the Linux build $linux_rc"
  ((win_rc == 0)) || fail "zarn-upload.exe exited $win_rc"
  diff -u "$work/linux.out" "$work/win.out" || fail "stdout differs from the Linux build"
  diff -u "$work/linux.err" "$work/win.err" || fail "stderr differs from the Linux build"
  local expected_name=
  [[ $mode == dsp ]] && expected_name=$(basename "$file")
  [[ $saved_name == "$expected_name" ]] || fail "the STB got the name '$saved_name'"
  cmp "$file" "$received" || fail "zarn-stb-sim.exe did not receive the file byte for byte"
  echo "--- zarn-stb-sim.exe received $(stat -c %s "$received") bytes${saved_name:+ named $saved_name}"
}

# Runs zarn-stb-sim.exe with `args`; sets run_rc, run_out and run_err.
sim_run() {
  wine "$win_stb_sim" "$@" >"$work/sim.out.crlf" 2>"$work/sim.err.crlf" </dev/null
  run_rc=$?
  run_out=$(tr -d '\r' <"$work/sim.out.crlf")
  run_err=$(tr -d '\r' <"$work/sim.err.crlf")
  echo "--- zarn-stb-sim.exe $*: exit $run_rc"
  printf '%s\n' "$run_err" | head -n 3
}

usage_checks() {
  # Windows has no pseudo-terminals: the default line and a link folder are
  # refused before anything is opened.
  local args
  for args in "" "--mode dsp" "--port-dir C:\\ports --com COM6" "--com /dev/ttyS0"; do
    # shellcheck disable=SC2086  # the arguments split on purpose
    sim_run $args
    ((run_rc == 2)) || fail "'$args': exit $run_rc, not 2"
    [[ $run_err == *"--com"* ]] || fail "'$args': the error does not name --com"
    [[ $run_err == *"Usage: zarn-stb-sim"* ]] || fail "'$args': no usage text"
    [[ -z $run_out ]] || fail "'$args': printed '$run_out'"
  done
  sim_run --help
  ((run_rc == 0)) || fail "--help: exit $run_rc"
  [[ $run_out == *"--com PORT"* ]] || fail "--help does not explain --com"
  # A port nobody has: the system's reason, exit 1, no line announced.
  sim_run --com COM250 --once
  ((run_rc == 1)) || fail "--com COM250: exit $run_rc, not 1"
  [[ $run_err == "zarn-stb-sim: COM250: "?*" (Windows error 2)" ]] || fail "--com COM250: '$run_err'"
  [[ $run_out != *"device:"* ]] || fail "--com COM250 announced a line"
}

case $case_name in
  zarn) upload_through_pair zarn "$samples/sample_app.ZARN" ;;
  dsp) upload_through_pair dsp "$samples/sample.DSP" ;;
  usage) usage_checks ;;
  *) fail "unknown case $case_name" ;;
esac
echo "PASS"
