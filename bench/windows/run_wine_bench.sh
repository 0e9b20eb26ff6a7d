#!/usr/bin/env bash
# The Windows build's benchmarks under wine, against Linux-side peers:
#   - line_bench.exe (idle port, waiting task, new-byte latency) on COM5 with
#     socat's pseudo-terminal as the far end;
#   - zarn-upload.exe uploading a ZARN image and a .DSP file to the Linux
#     zarn-stb-sim pacing its line at 115200 bps, timed from the line that
#     starts the protocol's fixed stretch to the termination line, against
#     the time the protocol imposes (the same arithmetic as
#     bench/upload_tasks/zarn_bench.cpp and dsp_bench.cpp); the program's
#     processor time comes from /proc, as wine runs it as a Linux process.
# Goals: uploads <= 1.02 x imposed; idle port and waiting task < 2 % of a
# core; a new byte seen < 2 ms (median).
# Usage: bench/windows/run_wine_bench.sh WIN_TREE LINUX_TREE [SIZE_BYTES=65536]
set -uo pipefail
cd "$(dirname "$0")/../.."
win_tree=$(realpath "$1") linux_tree=$(realpath "$2") size=${3:-65536}
if [[ -z ${ZARN_WINE_COM5_LINK:-} ]]; then
  exec bash scripts/wine-session.sh "$win_tree" bash "$0" "$@"
fi

readonly kTimeGoal=1.02 kCpuGoal=0.05 kUploadLimitSeconds=600
stb_sim=$linux_tree/tools/stb_sim/zarn-stb-sim
upload=$win_tree/cli/zarn-upload.exe
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

echo "=== line_bench.exe on COM5 (socat peer) ==="
bash tests/windows/with_pty_peer.sh "$win_tree/bench/windows/line_bench.exe" 10 1000 | tr -d '\r' || status=1

clock_ticks=$(getconf CLK_TCK)
cpu_of() { awk -v hz="$clock_ticks" '{print ($14 + $15) / hz}' "/proc/$1/stat"; }

# measure KIND FILE START_LINE IMPOSED SIM_ARGS...
measure() {
  local kind=$1 file=$2 start_line=$3 imposed=$4
  shift 4
  local sim_fd line
  exec {sim_fd}< <(exec "$stb_sim" --no-link --once --quiet --save "$work/received" "$@" 2>&1)
  read -r -t 10 -u "$sim_fd" line || { echo "the simulator did not start"; return 1; }
  ln -sfn "${line#device: }" "$ZARN_WINE_COM5_LINK"
  local upload_fd pid t0= t1= cpu0= cpu1=
  exec {upload_fd}< <(exec wine "$upload" --port COM5 "$file" 2>"$work/err")
  pid=$!
  while read -r -t "$kUploadLimitSeconds" -u "$upload_fd" line; do
    local now=$EPOCHREALTIME
    line=${line%$'\r'}
    if [[ $line == "$start_line" ]]; then t0=$now; cpu0=$(cpu_of "$pid"); fi
    if [[ $line == *"task terminated!!!" ]]; then t1=$now; cpu1=$(cpu_of "$pid"); fi
  done
  wait "$pid"
  local rc=$?
  while read -r -t "$kUploadLimitSeconds" -u "$sim_fd" line; do [[ $line == "saved: "* ]] && break; done
  if ((rc != 0)) || [[ -z $t0 || -z $t1 ]] || ! cmp -s "$file" "$work/received"; then
    echo "$kind: the upload failed (exit $rc)"; cat "$work/err"; return 1
  fi
  awk -v kind="$kind" -v size="$size" -v t0="$t0" -v t1="$t1" -v c0="$cpu0" -v c1="$cpu1" \
      -v imposed="$imposed" -v tg="$kTimeGoal" -v cg="$kCpuGoal" 'BEGIN {
    m = t1 - t0; ratio = m / imposed; share = (c1 - c0) / m
    ok = ratio <= tg && share < cg
    printf "%-5s %8d bytes: %.3f s (imposed %.3f s, x%.4f %s), cpu %.2f %% of a core %s\n",
      kind, size, m, imposed, ratio, ratio <= tg ? "ok" : "MISSED", 100 * share, share < cg ? "ok" : "MISSED"
    exit ok ? 0 : 1 }'
}

line_seconds() { awk -v b="$1" 'BEGIN { printf "%.6f", b * 10 / 115200 }'; }

# ZARN: 64-byte header (length of the rest at 16, big-endian; tag at 32), then
# 8188-byte packets. The arithmetic of zarn_bench.cpp's Imposed.
zarn_imposed() {
  awk -v s="$1" 'function L(b) { return b * 10 / 115200 }
  BEGIN {
    body = s - 64; packets = int((body + 8187) / 8188)
    t = L(8) + 0.050 + 0.550 + 0.120; per = 0.550 + 0.120 + 0.120; lastEnd = 0.350
    if (packets > 0) {
      last = body - (packets - 1) * 8188
      t += (packets - 1) * per
      onLine = 0.550 + L(last + 12 + 4)
      lastEnd = (per + 0.350 > onLine) ? per + 0.350 : onLine
    }
    t += lastEnd + 3 * 0.050
    printf "%.6f", t }'
}
# DSP: 200 ms per 1024-byte block, plus the header and closing blocks, the
# EOTs and the replies on the line (dsp_bench.cpp).
dsp_imposed() {
  awk -v s="$1" 'BEGIN { blocks = int((s + 1023) / 1024); printf "%.6f", blocks * 0.2 + (2 * 133 + 2 + 5) * 10 / 115200 }'
}

python3 - "$work/bench.zarn" "$work/bench.DSP" "$size" <<'PY'
import os, struct, sys
zarn, dsp, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
image = bytearray(os.urandom(size))
image[32:64] = b"APP" + bytes(29)
image[16:20] = struct.pack(">I", size - 64)
open(zarn, "wb").write(image)
open(dsp, "wb").write(os.urandom(size))
PY

echo "=== zarn-upload.exe to zarn-stb-sim on COM5, 115200 bps ==="
measure ZARN "$work/bench.zarn" "Initializing Upload task..." "$(zarn_imposed "$size")" --flash-time 20 || status=1
measure DSP "$work/bench.DSP" "connection established!!!" "$(dsp_imposed "$size")" --mode dsp --c-interval 100 || status=1
exit $status
