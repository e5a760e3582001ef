#!/usr/bin/env bash
# Exchanges per second of fins-host serving a 2,000-tag panel, with and without a
# browser (headless Chromium) attached, against one simulator run; rounds alternate.
#   bench/panel_load.sh [BUILD_DIR] [SECONDS_PER_RUN] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-20}
rounds=${3:-3}
CHROMIUM=${CHROMIUM:-/usr/bin/chromium}
tags=2000
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

# One host run; prints its exchanges per second over the whole run.
run() {
  local browser=$1 out=$work/host.json err=$work/host.err
  "$build/host/fins-host" --tags "$work/panel.tags" --plc "$plc" --http 127.0.0.1:0 \
    --json --seconds "$seconds" >"$out" 2>"$err" &
  local host=$! chrome=
  if [[ $browser == yes ]]; then
    for _ in $(seq 100); do grep -q 'panel at' "$err" && break; sleep 0.05; done
    "$CHROMIUM" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
      --disable-background-networking --disable-component-update --disable-sync \
      --user-data-dir="$work/profile" --remote-debugging-port=0 \
      "$(grep -o 'http://[^ ]*' "$err")" >/dev/null 2>&1 &
    chrome=$!
  fi
  wait "$host" || true
  [[ -z $chrome ]] || { kill "$chrome"; wait "$chrome" 2>/dev/null || true; rm -rf "$work/profile"; }
  python3 -c "import json,sys; d=json.load(open(sys.argv[1])); print('%.0f' % (d['counters']['exchanges'] / $seconds))" "$out"
}

echo "tags: $tags + counter; $seconds s a run; $rounds rounds; load: $(cut -d' ' -f1-3 /proc/loadavg)"
for ((r = 1; r <= rounds; r++)); do
  echo "round $r: without browser $(run no) exch/s, with browser $(run yes) exch/s"
done
