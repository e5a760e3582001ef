#!/usr/bin/env bash
# The demo: starts the PLC simulator on a free loopback port with demo data and its
# animation, runs fins-host against it for a while (live values, one write, one
# one-shot read) with its browser panel, then stops the simulator.
#   scripts/demo.sh [--plc HOST:PORT] [--seconds N] [--panel-port N]
# --plc talks to a real PLC instead of the simulator. BUILD names the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
HOST_BIN=$BUILD/host/fins-host
SIM_BIN=$BUILD/sim/fins-plcsim
plc=""
seconds=30
panel_port=8080

while [[ $# -gt 0 ]]; do
  case "$1" in
    --plc) plc=${2:?--plc needs HOST:PORT}; shift 2 ;;
    --plc=*) plc=${1#--plc=}; shift ;;
    --seconds) seconds=${2:?--seconds needs a number}; shift 2 ;;
    --panel-port) panel_port=${2:?--panel-port needs a number}; shift 2 ;;
    *) echo "usage: $0 [--plc HOST:PORT] [--seconds N] [--panel-port N]" >&2; exit 2 ;;
  esac
done

for bin in "$HOST_BIN" "$SIM_BIN"; do
  [[ -x $bin ]] || { echo "demo: $bin is missing; run 'make build' first" >&2; exit 1; }
done

work=$(mktemp -d)
sim_pid=""
cleanup() {
  if [[ -n $sim_pid ]]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

if [[ -z $plc ]]; then
  # Both tools' defaults: the PLC is node 1, the host proposes node 0 and is assigned one.
  "$SIM_BIN" --port 0 --port-file "$work/port" \
    --memory host/demo/plc-memory.txt --animate --animate-interval 250 &
  sim_pid=$!
  for _ in $(seq 100); do
    [[ -s $work/port ]] && break
    kill -0 "$sim_pid" 2>/dev/null || { echo "demo: the simulator did not start" >&2; exit 1; }
    sleep 0.1
  done
  [[ -s $work/port ]] || { echo "demo: the simulator wrote no port" >&2; exit 1; }
  plc=127.0.0.1:$(cat "$work/port")
  echo "demo: simulator listening on $plc"
fi

echo "demo: fins-host for ${seconds}s, writing setpoint=1750 and reading recipe once"
echo "demo: open the panel at http://127.0.0.1:$panel_port/?trend=counter,temperature,blinker while the demo runs"
sleep 2 # time to read the address before the screen takes the terminal
"$HOST_BIN" --tags host/demo/screen.tags --plc "$plc" --seconds "$seconds" \
  --http "127.0.0.1:$panel_port" --write setpoint=1750 --read-once recipe
