#!/usr/bin/env bash
# Runs a command (a Windows test program under wine) with simulated STBs on
# COM5: the Linux zarn-stb-sim, one per request, behind the pseudo-terminal
# that COM5 names.
#
# A test asks for an STB over TCP on 127.0.0.1, port ZARN_STB_SIM_PORT, with
# one line of simulator options (e.g. "--mode dsp --c-interval 400"). The
# session started for that connection runs zarn-stb-sim with them (its first
# upload saved to a file), points the COM5 link at its pseudo-terminal and
# answers "ready". When the STB has received a whole upload it answers
# "name: NAME" (a .DSP transfer's file name) and "saved: PATH" (the received
# bytes, as a Windows path through wine's drive Z:). The simulator, and its
# line with it, stops only when the test closes the connection: it is not
# told --once, since a simulator that ends after the upload hangs the line up
# under the still connected window, which then rightly reports the device
# gone ("EInOutError: Device read error.").
#
# Usage: with_stb_sim.sh STB_SIM COMMAND [ARGS...]
#        with_stb_sim.sh --session STB_SIM   (one connection; socat runs it)
set -uo pipefail
: "${ZARN_WINE_COM5_LINK:?run under scripts/wine-session.sh}"

# How long the simulator may take to name its pseudo-terminal.
readonly kSimStartLimitSeconds=10
# How long one upload may take before the session stops waiting for it.
readonly kUploadLimitSeconds=120
# A port of the dynamic range that differs between parallel runs (and from
# with_pty_peer.sh's for the same process number).
readonly kPortBase=20000 kPortSpread=20000

session() {
  local stb_sim=$1 options
  read -r -t "$kSimStartLimitSeconds" options || exit 1
  options=${options%$'\r'}
  # Only option words, never anything a shell would act on.
  [[ $options =~ ^[-a-z0-9\ ]*$ ]] || { echo "error: bad options"; exit 1; }
  # Globals: the exit trap runs after this function has returned.
  work=$(mktemp -d)
  sim_pid=
  local save=$work/received.bin sim_fd
  # shellcheck disable=SC2086  # the options are words for the simulator
  exec {sim_fd}< <(exec "$stb_sim" $options --no-link --quiet --save "$save" </dev/null 2>&1)
  sim_pid=$!
  trap '[[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null; rm -rf "$work"' EXIT
  # socat ends the session with a signal once the test has hung up.
  trap 'exit 143' TERM HUP INT
  local line
  read -r -t "$kSimStartLimitSeconds" -u "$sim_fd" line
  [[ $line == "device: "* ]] || { echo "error: the simulator said: $line"; exit 1; }
  ln -sfn "${line#device: }" "$ZARN_WINE_COM5_LINK"
  echo ready
  relay_upload "$sim_fd" "$save" &
  local relay=$!
  # Until the test has read the file and hangs up (or gave up waiting).
  cat >/dev/null
  kill "$relay" 2>/dev/null
}

# Passes on what the simulator says about the upload it received.
relay_upload() {
  local sim_fd=$1 save=$2 line
  while read -r -t "$kUploadLimitSeconds" -u "$sim_fd" line; do
    case $line in
      "name: "*) echo "$line" ;;
      "saved: "*)
        echo "saved: Z:${save//\//\\}"
        return
        ;;
    esac
  done
}

if [[ $1 == --session ]]; then
  session "$2"
  exit
fi

stb_sim=$1
shift
export ZARN_STB_SIM_PORT=$((kPortBase + $$ % kPortSpread))
socat TCP-LISTEN:"$ZARN_STB_SIM_PORT",bind=127.0.0.1,reuseaddr,fork \
  SYSTEM:"exec bash '$0' --session '$stb_sim'" 2>/dev/null &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null' EXIT
"$@"
