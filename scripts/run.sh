#!/usr/bin/env bash
# Builds the tool and starts its window beside a simulated STB, so a whole
# upload can be watched without hardware:
#   bash scripts/run.sh           simulated STBs on pseudo-terminals, then the window
#   bash scripts/run.sh --no-sim  the window only, for a real STB on a real port
# The simulators (zarn-stb-sim) run in the background while the window is open
# and are stopped when it closes. In the port dialog pick the COM port printed
# below: one STB takes ZARN images, the other DSP files.
set -euo pipefail
cd "$(dirname "$0")/.."

use_sim=1
for arg in "$@"; do
  case $arg in
    --no-sim) use_sim=0 ;;
    -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown option $arg (try --help)" >&2; exit 2 ;;
  esac
done

bash scripts/install-deps.sh run
# Only what this script starts: the window and, unless --no-sim, the
# simulator. A fresh tree is configured from the run preset, without the
# tests and benchmarks, so the first start compiles a small part of the
# project; scripts/test.sh turns them on in the same tree (the plain preset).
targets=(zarn-loader)
((use_sim)) && targets+=(zarn-stb-sim)
if [[ ! -f build/build.ninja ]]; then
  bash scripts/configure.sh run
fi
cmake --build build -j "$(nproc)" --target "${targets[@]}"

app=build/app/zarn-loader
sim=build/tools/stb_sim/zarn-stb-sim
if [[ ! -x $app ]]; then
  echo "run.sh: $app was not built; nothing started." >&2
  exit 1
fi

sim_pids=()
stop_sims() {
  local pid
  for pid in "${sim_pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${sim_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap stop_sims EXIT
trap 'exit 130' INT TERM

# Starts one simulator; prints the port to pick once it has made its link.
start_sim() {
  local label=$1 log=$2; shift 2
  "$sim" "$@" >"$log" 2>&1 &
  sim_pids+=($!)
  local tries
  for ((tries = 0; tries < 100; tries++)); do
    if grep -q '^port: ' "$log" 2>/dev/null; then break; fi
    if ! kill -0 "${sim_pids[-1]}" 2>/dev/null; then break; fi
    sleep 0.1
  done
  local device port
  device=$(sed -n 's/^device: //p' "$log")
  port=$(sed -n 's/^port: //p' "$log")
  if [[ -z $device ]]; then
    echo "run.sh: the simulated STB did not start; see $log" >&2
    exit 1
  fi
  printf '  %-12s pick %s (%s)\n' "$label" "${port:-no COM link}" "$device"
}

if ((use_sim)); then
  work=$(mktemp -d "${TMPDIR:-/tmp}/zarn-run.XXXXXX")
  echo "Simulated STB, 115200 bps (logs and received images in $work):"
  start_sim "ZARN images" "$work/stb-zarn.log" --save "$work/received-image.bin"
  start_sim "DSP files" "$work/stb-dsp.log" --mode dsp --save "$work/received.DSP"
  echo "Sample images to load: $(pwd)/tools/samples/"
fi

if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
  # A fresh server has no desktop: run the window on a virtual display so the
  # tool still starts; its picture is written out after a few seconds.
  shot=${work:-/tmp}/window.png
  echo "No display found: the window runs on a virtual X display (Xvfb)."
  echo "A picture of it is written to $shot; close with Ctrl-C."
  APP=$app SHOT=$shot xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    "$APP" &
    pid=$!
    sleep 3
    import -window root "$SHOT" 2>/dev/null && echo "Wrote $SHOT"
    wait "$pid"'
else
  "$app"
fi
