#!/usr/bin/env bash
# fins-host at a scan rate, against one simulator:
#  1. CPU time (user + system) of the whole process per second of a 2,000-tag panel
#     at --poll-ms 100, over WINDOW seconds;
#  2. the time from a panel write request (POST /api/write) to the write's frame in the
#     host's recording at --poll-ms 1000, for WRITES writes made at random moments.
#   bench/host_pacing.sh [BUILD_DIR] [WINDOW_SECONDS] [WRITES]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
window=${2:-30}
writes=${3:-20}
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

for ((i = 0; i < 2000; i++)); do printf 't%04d D %d\n' "$i" $((1000 + i)); done >"$work/panel.tags"
echo "setpoint D 100" >>"$work/panel.tags"
"$build/sim/fins-plcsim" --port 0 --port-file "$work/port" --animate 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [[ -s $work/port ]] && break; sleep 0.1; done
plc=127.0.0.1:$(cat "$work/port")

host() { # POLL_MS PANEL_PORT [more options]
  "$build/host/fins-host" --tags "$work/panel.tags" --plc "$plc" --poll-ms "$1" \
    --http "127.0.0.1:$2" --json --seconds 600 "${@:3}" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do curl -sf -o /dev/null "http://127.0.0.1:$2/api/state" && break; sleep 0.1; done
}
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

host 100 18611
pid=${pids[-1]}
sleep 2
c1=$(ticks "$pid"); t1=$(date +%s.%N)
sleep "$window"
c2=$(ticks "$pid"); t2=$(date +%s.%N)
python3 -c "print('poll 100 ms, 2,000 tags: %.1f ms CPU per second (%.2f %% of one core)' % (($c2 - $c1) * 1000 / $(getconf CLK_TCK) / ($t2 - $t1), ($c2 - $c1) * 100 / $(getconf CLK_TCK) / ($t2 - $t1)))"
kill "$pid"

host 1000 18612 --pcap "$work/trace.pcap"
sleep 1
python3 - "$work/trace.pcap" "$writes" <<'EOF'
import json, random, struct, sys, time, urllib.request
pcap, count = sys.argv[1], int(sys.argv[2])
asked = []
for i in range(count):
    time.sleep(random.uniform(0.2, 1.3))  # anywhere in the scan
    body = json.dumps({"tag": "setpoint", "value": i}).encode()
    asked.append(time.time())
    urllib.request.urlopen(urllib.request.Request(
        "http://127.0.0.1:18612/api/write", body, {"Content-Type": "application/json"})).read()
time.sleep(1.5)
# Write requests (MRC 01, SRC 02) in the recording, by their capture time.
sent, data = [], open(pcap, "rb").read()
at = 24
while at + 16 <= len(data):
    sec, usec, n, _ = struct.unpack_from("<IIII", data, at)
    frame = data[at + 16: at + 16 + n]
    at += 16 + n
    payload = frame[14 + 20 + 20:]
    if payload[:4] == b"FINS" and len(payload) >= 28 and payload[26:28] == b"\x01\x02":
        sent.append(sec + usec / 1e6)
delays = sorted((min(s for s in sent if s >= a) - a) * 1000 for a in asked)
print("poll 1000 ms: write request to its frame, %d writes: median %.1f ms, max %.1f ms"
      % (len(delays), delays[len(delays) // 2], delays[-1]))
EOF
