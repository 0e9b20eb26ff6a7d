#!/usr/bin/env bash
# zarn-station.exe under wine with two ports, COM5 and COM6, each linked to a
# Linux zarn-stb-sim of its own; the image and the record are named as a
# Windows user types them (Z:\...).
#   two_ports: both STBs receive the image byte for byte, the station exits 0
#     and the record holds one confirmed row for each port.
#   stop: a Ctrl-C to the station in the middle of both (slow) uploads: the
#     station says it stops, every child ends before the stop limit, the
#     station exits 1 and the record holds one whole failed row per port. On
#     Windows each child gets CTRL_BREAK_EVENT and writes its own row; wine
#     cannot send that event to a process group (child_stop_test says so), so
#     here the station kills each child at once when the send fails (not
#     after the limit) and writes the row for it.
#
# Usage: wine_station_test.sh CASE WIN_STATION LINUX_STB_SIM SAMPLES_DIR
# Needs the suite's wine setup (scripts/wine-session.sh).
set -uo pipefail

case_name=$1 win_station=$2 stb_sim=$3 samples=$4
: "${ZARN_WINE_COM5_LINK:?run under scripts/wine-session.sh}"
: "${ZARN_WINE_COM6_LINK:?run under scripts/wine-session.sh}"

# How long the station may take for both uploads before the test gives up.
readonly kStationLimitSeconds=120
# How long a simulator may take to name its pseudo-terminal.
readonly kStartLimitSeconds=20
# How long a simulator may take to save an upload it has received.
readonly kSaveLimitSeconds=30
# The station's stop limit (kStopLimit), after which it kills a child.
readonly kStopLimitMs=2000
# The line speed of the STBs that are stopped in the middle of their upload.
readonly kSlowBaud=19200
readonly image=$samples/sample_app.ZARN

source "$(dirname "$0")/wine_test_scratch.sh"

# A Linux simulator behind the link that `port` names; sets sim_fd to its
# output. Not --once: a simulator that ends after its upload would hang the
# line up under the child still closing it.
start_sim() {
  local port=$1 save=$2 line
  shift 2
  exec {sim_fd}< <(exec "$stb_sim" --no-link --quiet --save "$save" "$@" 2>&1)
  children+=("$!")
  read -r -t "$kStartLimitSeconds" -u "$sim_fd" line || fail "the simulator for $port did not start"
  [[ $line == "device: "* ]] || fail "the simulator for $port said: $line"
  local link_var=ZARN_WINE_${port}_LINK
  ln -sfn "${line#device: }" "${!link_var}"
}

# Waits until the simulator on `fd` has saved a whole upload.
wait_saved() {
  local fd=$1 port=$2 line
  while read -r -t "$kSaveLimitSeconds" -u "$fd" line; do
    [[ $line == "saved: "* ]] && return 0
  done
  fail "the STB on $port saved no image"
}

# The record's rows as "port|result|exit status|box", one a line.
record_rows() {
  python3 - "$1" <<'PY'
import csv, sys
with open(sys.argv[1], newline="", encoding="utf-8") as record:
    for row in csv.DictReader(record):
        print("|".join([row["port"], row["result"], row["exit status"], row["box"]]))
PY
}

show_output() {
  strip_crlf station.out station.err
  echo "--- zarn-station.exe: exit $station_rc"
  cat "$work/station.out"
  [[ -s $work/station.err ]] && { echo "--- stderr:"; cat "$work/station.err"; }
}

win_image=$(windows_path "$image")
win_record=$(windows_path "$work/bench.csv")
[[ $win_image == Z:\\*"\\sample_app.ZARN" ]] || fail "winepath gave '$win_image' for $image"
station_args=(--console --record "$win_record" --port COM5 --port COM6 "$win_image")

two_ports() {
  start_sim COM5 "$work/com5.bin"
  local fd5=$sim_fd
  start_sim COM6 "$work/com6.bin"
  local fd6=$sim_fd
  timeout "$kStationLimitSeconds" wine "$win_station" "${station_args[@]}" \
    >"$work/station.out.crlf" 2>"$work/station.err.crlf" </dev/null
  station_rc=$?
  show_output
  ((station_rc == 0)) || fail "zarn-station.exe exited $station_rc, not 0"
  wait_saved "$fd5" COM5
  wait_saved "$fd6" COM6
  cmp "$image" "$work/com5.bin" || fail "the STB on COM5 did not receive the image byte for byte"
  cmp "$image" "$work/com6.bin" || fail "the STB on COM6 did not receive the image byte for byte"
  local rows
  rows=$(record_rows "$work/bench.csv" | sort) || fail "the record cannot be read"
  echo "--- record: $rows"
  [[ $rows == "COM5|confirmed|0|"$'\n'"COM6|confirmed|0|" ]] ||
    fail "the record does not hold one confirmed row per port"
}

stop() {
  # STBs paced at 19200 bps take about 10 s for the image: only the stop can
  # end a child before the station's stop limit.
  start_sim COM5 "$work/com5.bin" --pace --baud "$kSlowBaud"
  start_sim COM6 "$work/com6.bin" --pace --baud "$kSlowBaud"
  local station_fd station_pid line uploading=() interrupted_at=
  exec {station_fd}< <(exec wine "$win_station" "${station_args[@]}" 2>"$work/station.err.crlf" </dev/null)
  station_pid=$!
  children+=("$station_pid")
  : >"$work/station.out.crlf"
  # On a pipe the table says each change on a line of its own.
  while read -r -t "$kStationLimitSeconds" -u "$station_fd" line; do
    printf '%s\n' "$line" >>"$work/station.out.crlf"
    [[ $line =~ ^(COM[56])\ +uploading ]] || continue
    [[ " ${uploading[*]} " == *" ${BASH_REMATCH[1]} "* ]] && continue
    uploading+=("${BASH_REMATCH[1]}")
    if ((${#uploading[@]} == 2)); then
      interrupted_at=$(date +%s%N)
      kill -INT "$station_pid"
    fi
  done
  wait "$station_pid"
  station_rc=$?
  local took_ms=$((($(date +%s%N) - ${interrupted_at:-0}) / 1000000))
  show_output
  ((${#uploading[@]} == 2)) || fail "the station was not uploading on both ports"
  echo "--- the station ended ${took_ms} ms after its Ctrl-C"
  ((station_rc == 1)) || fail "zarn-station.exe exited $station_rc, not 1"
  grep -q "stopping every upload" "$work/station.err" || fail "the station did not say it stops"
  # A child neither stopped nor killed at once would upload on until the
  # station kills it at the stop limit.
  ((took_ms < kStopLimitMs)) || fail "the children were not stopped at once (${took_ms} ms)"
  local rows
  rows=$(record_rows "$work/bench.csv" | sort) || fail "the record cannot be read"
  echo "--- record:"
  printf '%s\n' "$rows"
  local lines
  mapfile -t lines <<<"$rows"
  if ((${#lines[@]} != 2)) || [[ ${lines[0]} != "COM5|failed|"* || ${lines[1]} != "COM6|failed|"* ]]; then
    fail "the record does not hold one failed row per port"
  fi
  if grep -q "zarn-upload crashed" <<<"$rows"; then
    echo "--- (the stop could not be sent: the station killed the children and wrote their rows)"
  fi
}

case $case_name in
  two_ports) two_ports ;;
  stop) stop ;;
  *) fail "unknown case $case_name" ;;
esac
echo "PASS"
