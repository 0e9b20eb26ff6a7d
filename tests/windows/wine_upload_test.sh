#!/usr/bin/env bash
# zarn-upload.exe under wine against the Linux simulated STB, over a
# pseudo-terminal that wine maps to COM5, side by side with the Linux
# zarn-upload against the same simulator: the STB must receive the file byte
# for byte, and both builds must print the same log, the same boxes and end
# with the same exit status.
#
# Usage: wine_upload_test.sh CASE WIN_UPLOAD LINUX_UPLOAD LINUX_STB_SIM SAMPLES_DIR
#   CASE: zarn | dsp | dspfast | badid | ctrlc | rb | rbfast | machine | unicode |
#         unicodemissing | unicodeconsole | linegone
# rb: the .DSP upload received by lrzsz's `rb --ymodem` behind socat instead
# of the simulator; rb's file must equal the original. The ...fast cases send
# with --fast, the acknowledgement-driven DSP transfer. machine: --info (text
# and JSON) as the Linux build prints it, and a --json --record upload whose
# events fit together, whose log events equal the Linux build's plain output
# and whose record row says it was confirmed. The unicode cases give
# zarn-upload.exe file names in Cyrillic, CJK and emoji, as a Windows user
# types them (drive letter, backslashes). linegone: the line goes right after
# an answer of the STB.
# Needs the suite's wine setup (scripts/wine-session.sh): WINEPREFIX, a
# running wineserver and ZARN_WINE_COM5_LINK, the link that COM5 names.
set -uo pipefail

case_name=$1 win_upload=$2 linux_upload=$3 stb_sim=$4 samples=$5
: "${ZARN_WINE_COM5_LINK:?run under scripts/wine-session.sh}"

# How long one upload may take at 115200 bps before the test gives up on it.
readonly kUploadLimitSeconds=120
# How long the simulator may take to name its pseudo-terminal.
readonly kSimStartLimitSeconds=10

source "$(dirname "$0")/wine_test_scratch.sh"

# Starts a simulator for one upload, its output on a pipe; sets sim_device
# and sim_fd.
start_sim() {
  local mode=$1 save=$2
  exec {sim_fd}< <(exec "$stb_sim" --mode "$mode" --no-link --once --quiet --save "$save" 2>&1)
  children+=("$!")
  local line
  read -r -t "$kSimStartLimitSeconds" -u "$sim_fd" line || fail "the simulator did not start"
  sim_device=${line#device: }
  [[ $line == "device: "* ]] || fail "the simulator said: $line"
}

# Waits for the simulator on `fd` to report the image it saved; sets
# saved_name to the name a .DSP transfer came with ("" for a ZARN image).
wait_saved() {
  local fd=$1 line
  saved_name=
  while read -r -t "$kUploadLimitSeconds" -u "$fd" line; do
    [[ $line == "name: "* ]] && saved_name=${line#name: }
    [[ $line == "saved: "* ]] && return 0
  done
  fail "the simulator saved no image"
}


# Runs one upload with the Linux build and one with the Windows build, each
# against its own simulator; compares what the STBs got and what was printed.
# Arguments after the file go to both uploads; the Windows build gets the
# file as $win_file when that is set, else as a Windows user types it.
compare_upload() {
  local mode=$1 file=$2
  local win_file=${win_file:-$(windows_path "$file")}
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
  timeout "$kUploadLimitSeconds" wine "$win_upload" --port COM5 "${options[@]}" "$win_file" \
    >"$work/win.out.crlf" 2>"$work/win.err.crlf"
  local win_rc=$?
  strip_crlf win.out win.err

  echo "--- zarn-upload.exe --port COM5 ${options[*]} $win_file: exit $win_rc"
  cat "$work/win.out"
  [[ -s $work/win.err ]] && { echo "--- stderr:"; cat "$work/win.err"; }
  ((win_rc == 0)) || fail "zarn-upload.exe exited $win_rc"
  ((linux_rc == 0)) || fail "zarn-upload (Linux) exited $linux_rc: $(cat "$work/linux.err")"
  diff -u "$work/linux.out" "$work/win.out" || fail "stdout differs from the Linux build"
  diff -u "$work/linux.err" "$work/win.err" || fail "stderr differs from the Linux build"
  # The simulator saves the image once the upload has finished on its side.
  # A .DSP file reaches the STB under its name alone, whatever folder or
  # drive it came from.
  local expected_name=
  [[ $mode == dsp ]] && expected_name=$(basename "$file")
  wait_saved "$linux_fd"
  [[ $saved_name == "$expected_name" ]] || fail "the STB got the name '$saved_name' (Linux)"
  wait_saved "$win_fd"
  [[ $saved_name == "$expected_name" ]] || fail "the STB got the name '$saved_name' (wine)"
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
  children+=("$!")
  read -r -t "$kSimStartLimitSeconds" -u "$linux_sim" line || fail "the simulator did not start"
  interrupted_run "$work/linux.out" "$work/linux.err" "$linux_upload" --port "${line#device: }" "$1"
  local linux_rc=$run_rc
  exec {win_sim}< <(exec "$stb_sim" --no-link --once --quiet "${silent[@]}" 2>&1)
  children+=("$!")
  read -r -t "$kSimStartLimitSeconds" -u "$win_sim" line || fail "the simulator did not start"
  ln -sfn "${line#device: }" "$ZARN_WINE_COM5_LINK"
  interrupted_run "$work/win.out.crlf" "$work/win.err.crlf" wine "$win_upload" --port COM5 "$1"
  local win_rc=$run_rc
  strip_crlf win.out win.err
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
  children+=("$socat_pid")
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

# Prints each line of standard input with the time it arrived (in µs, from
# bash's own clock: no process per line to fall behind) before it.
stamp_lines() {
  local line
  while IFS= read -r line; do printf '%s %s\n' "${EPOCHREALTIME/[.,]/}" "${line%$'\r'}"; done
}

# The STB answers, then its line goes (a pulled adapter) while the tool is in
# one of its fixed pauses: the task must end within kLineGoneToEndMs of the
# line going, with the phase's failure and exit status 1, on both builds.
readonly kLineGoneToEndMs=300
readonly kAnswerArrivalMs=20
line_gone_after_answer() {
  local mode=$1 fault=$2 file=$3 build=$4
  local sim_log=$work/sim.$build.log out_log=$work/out.$build.log
  exec {hang_fd}< <(exec "$stb_sim" --mode "$mode" --no-link --once \
    --fault "$fault=hangup:$kAnswerArrivalMs" 2>&1)
  children+=("$!")
  local line device
  read -r -t "$kSimStartLimitSeconds" -u "$hang_fd" line || fail "the simulator did not start"
  device=${line#device: }
  stamp_lines <&"$hang_fd" >"$sim_log" &
  local stamper=$!
  if [[ $build == wine ]]; then
    ln -sfn "$device" "$ZARN_WINE_COM5_LINK"
    timeout "$kUploadLimitSeconds" wine "$win_upload" --port COM5 "$(windows_path "$file")" 2>/dev/null |
      stamp_lines >"$out_log"
  else
    timeout "$kUploadLimitSeconds" "$linux_upload" --port "$device" "$file" 2>/dev/null | stamp_lines >"$out_log"
  fi
  local rc=${PIPESTATUS[0]}
  wait "$stamper"
  ((rc == 1)) || fail "$build, $fault: exit status $rc, not 1"
  local gone ended
  gone=$(grep -m1 'line closed' "$sim_log" | cut -d' ' -f1)
  ended=$(grep -m1 -E 'task terminated!!!$' "$out_log" | cut -d' ' -f1)
  [[ -n $gone ]] || fail "$build, $fault: the STB never hung up"
  [[ -n $ended ]] || fail "$build, $fault: no termination line"
  local took=$(((ended - gone) / 1000))
  echo "--- $build, line gone after the $fault answer: the task ended $took ms later"
  ((took <= kLineGoneToEndMs)) || fail "$build, $fault: the task ended $took ms after the line went"
}

# Names no ANSI code page holds all of, in a folder named likewise. Wine
# hands the command line to Windows in UTF-16 from the Unix locale's
# encoding, so the locale is UTF-8 (as Windows' own command line always is
# UTF-16); the ANSI code page stays wine's default, 1252.
readonly kUnicodeFolder=$'\u041f\u0430\u043f\u043a\u0430 \u6587\u4ef6\u5939'
readonly kUnicodeNames=($'\u041f\u0440\u043e\u0448\u0438\u0432\u043a\u0430.zarn'
  $'\u56fa\u4ef6.zarn' $'\U0001F680 \u043f\u0440\u043e\u0448\u0438\u0432\u043a\u0430.zarn')

machine_interface() {
  local args
  for args in "--info $samples/sample_app.ZARN" "--info --json $samples/sample.DSP"; do
    # shellcheck disable=SC2086  # the arguments split on purpose
    wine "$win_upload" $args >"$work/win.out.crlf" 2>"$work/win.err.crlf"
    local win_rc=$?
    # shellcheck disable=SC2086
    "$linux_upload" $args >"$work/linux.out" 2>&1
    strip_crlf win.out
    echo "--- zarn-upload.exe $args: exit $win_rc"
    cat "$work/win.out" "$work/win.err.crlf"
    ((win_rc == 0)) || fail "zarn-upload.exe $args exited $win_rc"
    diff -u "$work/linux.out" "$work/win.out" || fail "$args differs from the Linux build"
  done

  local file=$samples/sample_app.ZARN
  start_sim zarn "$work/linux.bin"
  local linux_fd=$sim_fd
  timeout "$kUploadLimitSeconds" "$linux_upload" --port "$sim_device" "$file" >"$work/linux.out" 2>&1 ||
    fail "zarn-upload (Linux) did not confirm the upload"
  wait_saved "$linux_fd"
  start_sim zarn "$work/win.bin"
  local win_fd=$sim_fd
  ln -sfn "$sim_device" "$ZARN_WINE_COM5_LINK"
  timeout "$kUploadLimitSeconds" wine "$win_upload" --port COM5 --json --record "$work/uploads.csv" \
    "$file" >"$work/win.json.crlf" 2>"$work/win.err.crlf"
  local win_rc=$?
  strip_crlf win.json
  echo "--- zarn-upload.exe --port COM5 --json --record uploads.csv: exit $win_rc"
  cat "$work/win.json" "$work/win.err.crlf" "$work/uploads.csv"
  ((win_rc == 0)) || fail "zarn-upload.exe exited $win_rc"
  wait_saved "$win_fd"
  cmp "$file" "$work/win.bin" || fail "the STB did not receive the file byte for byte (wine)"
  python3 - "$work/win.json" "$work/linux.out" "$work/uploads.csv" <<'PY' || fail "the events or the record are wrong"
import csv, json, sys
events = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
plain = open(sys.argv[2], encoding="utf-8").read().splitlines()
assert events[0]["event"] == "start" and events[0]["port"] == "COM5", events[0]
assert events[-1]["event"] == "end" and events[-1]["exitStatus"] == 0, events[-1]
assert events[-1]["result"] == "confirmed", events[-1]
logs = [e["line"] for e in events if e["event"] == "log"]
assert logs == plain, (logs, plain)
with open(sys.argv[3], newline="", encoding="utf-8") as f:
    rows = list(csv.DictReader(f))
assert len(rows) == 1 and rows[0]["result"] == "confirmed", rows
assert rows[0]["exit status"] == "0" and rows[0]["port"] == "COM5", rows
assert rows[0]["crc32"] == events[0]["crc32"], rows
PY
}

case $case_name in
  linegone)
    for build in linux wine; do
      for fault in request header packet@0; do
        line_gone_after_answer zarn "$fault" "$samples/sample_app.ZARN" "$build"
      done
      for fault in dsp-header block@0 eot; do
        line_gone_after_answer dsp "$fault" "$samples/sample.DSP" "$build"
      done
    done
    ;;
  unicode)
    export LC_ALL=C.UTF-8
    mkdir -p "$work/$kUnicodeFolder"
    for name in "${kUnicodeNames[@]}"; do
      file=$work/$kUnicodeFolder/$name
      cp "$samples/sample_app.ZARN" "$file"
      win_file=$(windows_path "$file")
      [[ $win_file == [A-Z]:\\*"\\$name" ]] || fail "winepath gave '$win_file' for $file"
      compare_upload zarn "$file"
    done
    ;;
  unicodemissing)
    # A name that is not there: reported with the name as typed, exit 2.
    export LC_ALL=C.UTF-8
    mkdir -p "$work/$kUnicodeFolder"
    for name in "${kUnicodeNames[@]}"; do
      win_file=$(windows_path "$work/$kUnicodeFolder")\\$name
      wine "$win_upload" --port COM5 "$win_file" >"$work/win.out" 2>"$work/win.err.crlf"
      win_rc=$?
      strip_crlf win.err
      cat "$work/win.err"
      ((win_rc == 2)) || fail "zarn-upload.exe exited $win_rc, not 2"
      # The reason is the system's own words (wine's, in its language).
      [[ $(<"$work/win.err") == "zarn-upload: $win_file: "?* ]] || fail "not the typed name"
    done
    ;;
  unicodeconsole)
    # The same report on a console: wine gives a program on a terminal
    # (script's pseudo-terminal) a console of its own, which shows what it is
    # written; the C runtime would pass the UTF-8 bytes through its locale's
    # code page ("Ð\u009fÑ\u0080...").
    export LC_ALL=C.UTF-8 SHELL=/bin/bash
    for name in "${kUnicodeNames[@]::2}"; do
      win_file=$(windows_path "$work")\\$name
      command=$(printf '%q ' wine "$win_upload" --port COM5 "$win_file")
      # Wine's console moves the cursor with escape sequences between
      # characters; what shows is the text without them.
      shown=$(script -qec "$command" /dev/null </dev/null |
        perl -pe 's/\e\[[?0-9;]*[a-zA-Z]//g; s/\e\][^\a]*\a//g; s/\r//g')
      printf '%s\n' "$shown"
      [[ $shown == *"zarn-upload: $win_file: "?* ]] || fail "the console does not show the name"
    done
    ;;
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
    strip_crlf win.err
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
  machine) machine_interface ;;
  *) fail "unknown case $case_name" ;;
esac
echo "PASS"
