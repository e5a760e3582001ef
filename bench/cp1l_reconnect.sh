#!/usr/bin/env bash
# fins-host against a CP1L-like port that closes every connection after 50 requests:
# 2 slots, a 1-second slow release (so a reconnect at once finds no slot free), 536-byte
# segments. The demo screen runs SECONDS (default 30) while its panel state is sampled
# every 50 ms. Prints: the most connections the simulator saw open at once, its refusals
# for slots, the host's connects, the longest time a tag went without a good read, and
# how often the station went down and came back.
#   bash bench/cp1l_reconnect.sh [SECONDS]     BUILD=dir (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
RUN_SECONDS=${1:-30}
BUILD=${BUILD:-build}
WORK=$(mktemp -d /tmp/cp1l.XXXXXX)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$WORK"' EXIT

"$BUILD/sim/fins-plcsim" --profile cp1l --slots 2 --release-ms 1000 --fault close-after=50 \
  --animate --port 0 --port-file "$WORK/port" --status-file "$WORK/sim.json" 2>/dev/null &
pids+=($!)
for _ in $(seq 200); do [[ -s $WORK/port ]] && break; sleep 0.05; done
"$BUILD/host/fins-host" --tags host/demo/screen.tags --plc "127.0.0.1:$(cat "$WORK/port")" \
  --http 127.0.0.1:0 --seconds "$RUN_SECONDS" --max-offline-seconds 0 --json \
  >"$WORK/host.json" 2>"$WORK/host.err" &
host=$!
pids+=($host)
for _ in $(seq 200); do grep -q "panel at" "$WORK/host.err" 2>/dev/null && break; sleep 0.05; done
panel=$(sed -n 's|.*panel at http://127.0.0.1:\([0-9]*\).*|\1|p' "$WORK/host.err")

python3 - "$panel" "$host" "$WORK" <<'EOF'
import json, os, sys, time, urllib.request
panel, host, work = sys.argv[1], int(sys.argv[2]), sys.argv[3]
oldest, downs, was_down, samples = 0.0, 0, False, 0
while True:
    try:
        os.kill(host, 0)
        with urllib.request.urlopen(f"http://127.0.0.1:{panel}/api/state", timeout=2) as r:
            state = json.load(r)
    except (OSError, ValueError):
        break
    samples += 1
    ages = [t["age_ms"] for t in state["tags"] if t["age_ms"] is not None]
    if ages and samples > 20:  # after the first second
        oldest = max(oldest, max(ages))
    down = state["stations"][0]["state"] == "down"
    downs += down and not was_down
    was_down = down
    time.sleep(0.05)
sim = json.load(open(f"{work}/sim.json"))
c = json.load(open(f"{work}/host.json"))["counters"]
print(f"{samples} samples; simulator: at most {sim['peak_open']} connection(s) open at once, "
      f"{sim['accepted']} accepted, {sim['refused_all_in_use']} refused with 0x20; host: "
      f"{c['connects']} connects, {c['exchanges']} exchanges, {c['failures']} give-ups, "
      f"went down {downs} time(s); longest without a good read: {oldest:.0f} ms")
EOF
