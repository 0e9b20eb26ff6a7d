#!/usr/bin/env bash
# Runs a Windows test program under wine with a Linux-side peer on COM5: socat
# keeps making a fresh pseudo-terminal, points the COM5 link at its slave and
# joins its master to one TCP connection on 127.0.0.1. A test connects to
# that port (ZARN_PTY_PEER_PORT) and so holds the far end of COM5; closing
# the connection hangs the line up, and the loop makes the next one.
# Usage: with_pty_peer.sh PROGRAM.exe [ARGS...]     runs the program under wine
#        with_pty_peer.sh -- COMMAND [ARGS...]      runs a command that starts it
set -uo pipefail
: "${ZARN_WINE_COM5_LINK:?run under scripts/wine-session.sh}"

# A port of the dynamic range that differs between parallel runs.
readonly kPortBase=40000 kPortSpread=20000
# socat ends with an error when a test resets its connection; a peer that
# fails this often in a row cannot listen at all.
readonly kMaxFailuresInARow=20
export ZARN_PTY_PEER_PORT=$((kPortBase + $$ % kPortSpread))

peer_loop() {
  local child= failures=0
  trap 'kill "$child" 2>/dev/null; exit 0' TERM
  while ((failures < kMaxFailuresInARow)); do
    socat -t 0.1 PTY,link="$ZARN_WINE_COM5_LINK",rawer \
      TCP-LISTEN:"$ZARN_PTY_PEER_PORT",bind=127.0.0.1,reuseaddr 2>/dev/null &
    child=$!
    if wait "$child"; then failures=0; else failures=$((failures + 1)); fi
  done
}
peer_loop &
peer=$!
trap 'kill "$peer" 2>/dev/null; wait "$peer" 2>/dev/null' EXIT

if [[ $1 == -- ]]; then
  shift
  "$@"
else
  wine "$@"
fi
