#!/usr/bin/env bash
# Exchanges per second of fins-host serving a 2,000-tag panel, with and without a
# browser attached, against one simulator run. One headless Chromium stays open on
# the "with" port the whole time (its page reconnects to each new host); the "without"
# runs serve another port that nothing opens. Each run counts the host's exchanges
# (GET /api/state) over a window that starts once the page has had time to attach.
#   bench/panel_load.sh [BUILD_DIR] [ROUNDS] [WINDOW_SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-5}
window=${3:-10}
warmup=4
CHROMIUM=${CHROMIUM:-/usr/bin/chromium}
tags=2000
with_port=${PANEL_WITH_PORT:-18601}
without_port=${PANEL_WITHOUT_PORT:-18602}
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

for ((i = 0; i < tags; i++)); do printf 't%04d D %d\n' "$i" $((1000 + i)); done >"$work/panel.tags"
echo "counter D 0" >>"$work/panel.tags"
"$build/sim/fins-plcsim" --port 0 --port-file "$work/port" --node 200 --animate --animate-interval 250 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [[ -s $work/port ]] && break; sleep 0.1; done
plc=127.0.0.1:$(cat "$work/port")

# CPU ticks (user + system) of the loop thread and of the whole process.
cpu_ticks() {
  echo "$(awk '{print $14 + $15}' "/proc/$1/task/$1/stat") $(awk '{print $14 + $15}' "/proc/$1/stat")"
}

exchanges() {
  curl -sf "http://127.0.0.1:$1/api/state" |
    python3 -c 'import json,sys; print(int(json.load(sys.stdin)["counters"]["exchanges"]))'
}

# One host run on a port: exchanges per second over the window, and the CPU time
# per exchange of the loop thread and of the whole process (the panel's threads too).
run() {
  local port=$1
  "$build/host/fins-host" --tags "$work/panel.tags" --plc "$plc" --http "127.0.0.1:$port" \
    --json --max-offline-seconds 0 --seconds 600 --poll-ms 0 >/dev/null 2>&1 &
  local host=$!
  sleep "$warmup"
  local e1 t1 c1 e2 t2 c2
  c1=$(cpu_ticks "$host"); e1=$(exchanges "$port"); t1=$(date +%s.%N)
  sleep "$window"
  c2=$(cpu_ticks "$host"); e2=$(exchanges "$port"); t2=$(date +%s.%N)
  local streams
  streams=$(browser_streams "$port")
  kill "$host"; wait "$host" 2>/dev/null || true
  set -- $c1 $c2
  python3 -c "
hz, ex = $(getconf CLK_TCK), $e2 - $e1
print('%.0f exch/s, loop %.1f us/exch, process %.1f us/exch, %d browser connection(s)' % (ex / ($t2 - $t1), ($3 - $1) * 1e6 / hz / ex, ($4 - $2) * 1e6 / hz / ex, $streams))"
}

browser_streams() {
  ss -Htn state established "( sport = :$1 )" | wc -l
}

# The browser opens the page once, from a first host on the "with" port; from then on
# its event stream reconnects to each host started there.
start_browser() {
  "$build/host/fins-host" --tags "$work/panel.tags" --plc "$plc" --http "127.0.0.1:$with_port" \
    --json --seconds 600 --poll-ms 0 >/dev/null 2>&1 &
  local host=$!
  for _ in $(seq 100); do curl -sf -o /dev/null "http://127.0.0.1:$with_port/api/state" && break; sleep 0.1; done
  "$CHROMIUM" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/profile" --remote-debugging-port=0 "http://127.0.0.1:$with_port/" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 600); do [[ $(browser_streams "$with_port") -gt 0 ]] && break; sleep 0.1; done
  sleep 5 # the page's script, table and event stream, on a loaded machine
  kill "$host"; wait "$host" 2>/dev/null || true
}

start_browser
echo "tags: $tags + counter; window $window s after $warmup s; $rounds rounds; load: $(cut -d' ' -f1-3 /proc/loadavg)"
for ((r = 1; r <= rounds; r++)); do
  echo "round $r without browser: $(run "$without_port")"
  echo "round $r with browser:    $(run "$with_port")"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
