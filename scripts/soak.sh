#!/usr/bin/env bash
# A long run with nothing lost: fins-host with two stations, each a simulator playing a
# CP1L's port (3 slots, one node per connection, 536-byte segments, a 1-second slow
# release) that spoils 1 % of its replies across every fault kind; a panel client writing
# a tag every second and asking a one-shot read every 5 s; the tag file reloaded (SIGHUP)
# every minute, once with a bad file; station 2's simulator killed and restarted every
# ten minutes. The periods shrink for runs under 4 minutes so that each happens.
# At the end one table of checks; exit 1 when any fails. The memory baseline is taken
# once the panel's records of actions are full (about 9 minutes in; half-way through runs under
# 20 minutes).
#
#   bash scripts/soak.sh [MINUTES]      (default 60; a fraction such as 1 or 0.5 works)
#   BUILD=dir   the build tree (default build)    KEEP=1   keep the working directory
set -euo pipefail
cd "$(dirname "$0")/.."
MINUTES=${1:-60}
BUILD=${BUILD:-build}
SIM=$BUILD/sim/fins-plcsim
HOST=$BUILD/host/fins-host
for bin in "$SIM" "$HOST"; do
  [[ -x $bin ]] || { echo "soak: $bin is not built" >&2; exit 2; }
done
SECONDS_TOTAL=$(python3 -c "print(max(30, round(float('$MINUTES') * 60)))")
# Every minute and every ten minutes, or a quarter and a half of a short run.
RELOAD_EVERY=$(( SECONDS_TOTAL >= 240 ? 60 : SECONDS_TOTAL / 4 ))
KILL_EVERY=$(( SECONDS_TOTAL >= 1200 ? 600 : SECONDS_TOTAL / 2 ))
DOWN_FOR=$(( KILL_EVERY >= 60 ? 10 : 3 ))
KILLED=2

WORK=$(mktemp -d /tmp/soak.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [[ -n ${KEEP:-} ]] && echo "soak: kept $WORK" || rm -rf "$WORK"
}
trap cleanup EXIT

wait_for_file() { # FILE SECONDS
  for _ in $(seq $(( $2 * 20 ))); do [[ -s $1 ]] && return 0; sleep 0.05; done
  echo "soak: $1 did not appear" >&2; return 1
}

# 1 % of replies spoiled, spread over every fault kind the simulator has.
FAULTS=()
for kind in drop delay=300 corrupt error=0x21 extra short close nonfatal; do
  FAULTS+=(--fault "$kind@p:0.00125")
done
sim_runs=0
start_sim() { # STATION [PORT]
  sim_runs=$((sim_runs + 1))
  local tag=$1-$sim_runs
  "$SIM" --profile cp1l --release-ms 1000 --port "${2:-0}" --port-file "$WORK/port-$tag" \
    --status-file "$WORK/sim-$tag.json" --status --seed "$sim_runs" "${FAULTS[@]}" \
    2>"$WORK/sim-$tag.err" &
  sim_pid[$1]=$!
  pids+=($!)
  wait_for_file "$WORK/port-$tag" 10
  sim_port[$1]=$(cat "$WORK/port-$tag")
}
declare -A sim_pid sim_port
start_sim 1
start_sim 2

# A plant's panel: per station a block of words, bits, typed values, and the tags the
# client writes; the reload alternates between the file with and without one more tag.
{
  for st in 1 2; do
    o=$(( st * 1000 ))
    echo "block$st   D        $o 100 $st"
    echo "lamps$st   CIO.bit  $st.00 16 $st"
    echo "temp$st    D:REAL   $((o + 200)) 4 $st"
    echo "total$st   D:DINT   $((o + 210)) 2 $st"
    echo "name$st    D:STRING12 $((o + 220)) 1 $st"
    for w in 1 2 3 4; do echo "set${st}_$w   D   $((o + 300 + w)) 1 $st"; done
  done
} >"$WORK/base.tags"
cp "$WORK/base.tags" "$WORK/panel.tags"
{ cat "$WORK/base.tags"; echo "extra   W   10 8 1"; } >"$WORK/more.tags"
printf 'broken D 40000\n' >"$WORK/bad.tags"

"$HOST" --tags "$WORK/panel.tags" --multi-station --plc "127.0.0.1:${sim_port[1]}" \
  --station "2=127.0.0.1:${sim_port[2]}" --http 127.0.0.1:0 --max-offline-seconds 0 \
  --json >"$WORK/host.json" 2>"$WORK/host.err" &
host_pid=$!
pids+=($host_pid)
for _ in $(seq 200); do grep -q "panel at http" "$WORK/host.err" 2>/dev/null && break; sleep 0.05; done
panel_port=$(sed -n 's|.*panel at http://127.0.0.1:\([0-9]*\).*|\1|p' "$WORK/host.err" | head -1)
[[ -n $panel_port ]] || { echo "soak: fins-host did not start:" >&2; cat "$WORK/host.err" >&2; exit 1; }

python3 - "$WORK" "$panel_port" "$host_pid" "${sim_port[1]}" "${sim_port[2]}" \
  "$SECONDS_TOTAL" "$KILLED" <<'EOF'
import json, sys
work, panel, pid, p1, p2, seconds, killed = sys.argv[1:]
writes = [{"name": f"set{st}_{w}", "station": st, "address": st * 1000 + 300 + w}
          for st in (1, 2) for w in (1, 2, 3, 4)]
json.dump({"panel_port": int(panel), "host_pid": int(pid), "seconds": int(seconds),
           "plc_ports": {"1": int(p1), "2": int(p2)}, "killed_station": int(killed),
           "write_tags": writes, "read_tags": ["temp1", "block2", "name1", "total2"],
           "reloads": 0}, open(f"{work}/config.json", "w"))
EOF
python3 scripts/soak_client.py run "$WORK" &
client_pid=$!
pids+=($client_pid)

echo "soak: $SECONDS_TOTAL s; reload every $RELOAD_EVERY s, station $KILLED killed every" \
  "$KILL_EVERY s for $DOWN_FOR s; work in $WORK"
kills=()
reloads=0
t=0
next_reload=$RELOAD_EVERY
next_kill=$KILL_EVERY
while (( t < SECONDS_TOTAL )); do
  sleep 1
  t=$SECONDS
  kill -0 "$host_pid" 2>/dev/null || { echo "soak: fins-host ended early" >&2; break; }
  if (( t >= next_reload && t < SECONDS_TOTAL - 5 )); then
    reloads=$((reloads + 1))
    if (( reloads == 1 )); then # a bad file first: refused, the old tags go on
      cp "$WORK/bad.tags" "$WORK/panel.tags"
      kill -HUP "$host_pid"
      sleep 1
    fi
    (( reloads % 2 )) && cp "$WORK/more.tags" "$WORK/panel.tags" || cp "$WORK/base.tags" "$WORK/panel.tags"
    kill -HUP "$host_pid"
    next_reload=$((next_reload + RELOAD_EVERY))
  fi
  if (( t >= next_kill && t < SECONDS_TOTAL - DOWN_FOR - 15 )); then
    down_at=$SECONDS
    kill -KILL "${sim_pid[$KILLED]}"
    wait "${sim_pid[$KILLED]}" 2>/dev/null || true
    sleep "$DOWN_FOR"
    start_sim "$KILLED" "${sim_port[$KILLED]}"
    kills+=("[$down_at, $SECONDS]")
    next_kill=$((next_kill + KILL_EVERY))
  fi
done

touch "$WORK/stop"
wait "$client_pid" || true
kill -TERM "$host_pid"
host_code=0
wait "$host_pid" || host_code=$?
echo "soak: fins-host ended with exit code $host_code"
python3 - "$WORK" "$reloads" "[$(IFS=,; echo "${kills[*]:-}")]" <<'EOF'
import json, sys
work, reloads, kills = sys.argv[1], int(sys.argv[2]), json.loads(sys.argv[3])
cfg = json.load(open(f"{work}/config.json"))
cfg["reloads"] = reloads
json.dump(cfg, open(f"{work}/config.json", "w"))
json.dump(kills, open(f"{work}/kills.json", "w"))
EOF
verdict=0
python3 scripts/soak_client.py judge "$WORK" || verdict=1
for st in 1 2; do kill -TERM "${sim_pid[$st]}" 2>/dev/null || true; done
wait 2>/dev/null || true
exit $verdict
