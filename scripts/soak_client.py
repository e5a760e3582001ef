#!/usr/bin/env python3
"""The soak's panel client and judge (scripts/soak.sh runs it; Debian's python3 only).

  soak_client.py run STATE_DIR   the panel's API used as an operator would: a write a
      second, a one-shot read every few seconds; fins-host's memory, descriptors and
      stations sampled; runs until STATE_DIR/stop exists, then writes client.json.
  soak_client.py judge STATE_DIR the checks, as one table; exit 1 when one fails.

The simulators' memory is read with FINS/TCP of its own (a node address exchange, then
memory area reads), so the check does not trust the driver it judges.
"""
import json
import os
import socket
import struct
import sys
import time
import urllib.error
import urllib.request

WRITE_EVERY_S = 1.0
READ_ONCE_EVERY_S = 5.0
SAMPLE_EVERY_S = 0.5
# A station down for longer than this, outside the time its simulator was killed, is a
# give-up that did not recover: the slow release, plus the longest backoff step, plus
# one reply timeout, plus a sample.
RECOVERY_LIMIT_S = 1.0 + 2.0 + 1.0 + SAMPLE_EVERY_S
RSS_GROWTH_LIMIT_KB = 1024
# The panel keeps its latest 100 writes and 100 one-shot reads: the memory baseline of a
# long run waits until both records are full (a minute after the 100th one-shot read).
ACTIONS_KEPT = 100
FULL_RECORDS_S = ACTIONS_KEPT * max(WRITE_EVERY_S, READ_ONCE_EVERY_S) + 60


def load(path, default=None):
    try:
        with open(path) as f:
            return json.load(f)
    except (OSError, ValueError):
        return default


def save(path, obj):
    with open(path + ".tmp", "w") as f:
        json.dump(obj, f)
    os.replace(path + ".tmp", path)


def proc_figures(pid):
    """Resident memory in kB and open descriptors of a process, or None when gone."""
    try:
        with open(f"/proc/{pid}/status") as f:
            rss = next(int(l.split()[1]) for l in f if l.startswith("VmRSS:"))
        return rss, len(os.listdir(f"/proc/{pid}/fd"))
    except (OSError, StopIteration):
        return None


def api(port, path, body=None):
    req = urllib.request.Request(f"http://127.0.0.1:{port}{path}")
    if body is not None:
        req.data = json.dumps(body).encode()
        req.add_header("Content-Type", "application/json")
    try:
        with urllib.request.urlopen(req, timeout=5) as r:
            return r.status, json.loads(r.read() or b"null")
    except urllib.error.HTTPError as e:
        return e.code, json.loads(e.read() or b"null")
    except (OSError, ValueError):
        return None, None


def run(state_dir):
    cfg = load(os.path.join(state_dir, "config.json"))
    port, pid = cfg["panel_port"], cfg["host_pid"]
    writes, reads, samples, reload_notices = [], [], [], set()
    outcomes = {}  # action id -> outcome, as the state showed it (it keeps the latest 100)
    started = time.monotonic()
    next_write = next_read = next_sample = started
    n = 0
    stop_at = None
    while stop_at is None or time.monotonic() < stop_at:
        now = time.monotonic()
        if stop_at is None and os.path.exists(os.path.join(state_dir, "stop")):
            stop_at = now + 3  # no more requests; 3 s more of samples for their outcomes
            next_write = next_read = float("inf")
        if now >= next_write:
            tag = cfg["write_tags"][n % len(cfg["write_tags"])]
            value = (n * 7919 + 1) % 65536
            code, answer = api(port, "/api/write", {"tag": tag["name"], "value": value})
            writes.append({"t": now - started, "tag": tag["name"], "station": tag["station"],
                           "value": value, "code": code,
                           "id": answer.get("id") if code == 202 else None})
            n += 1
            next_write += WRITE_EVERY_S
        if now >= next_read:
            tag = cfg["read_tags"][len(reads) % len(cfg["read_tags"])]
            code, answer = api(port, "/api/read-once", {"tag": tag})
            reads.append({"t": now - started, "tag": tag, "code": code,
                          "id": answer.get("id") if code == 202 else None})
            next_read += READ_ONCE_EVERY_S
        if now >= next_sample:
            figures = proc_figures(pid)
            code, state = api(port, "/api/state")
            sample = {"t": now - started, "rss_kb": figures and figures[0],
                      "fds": figures and figures[1]}
            if code == 200:
                sample["down"] = [s["station"] for s in state["stations"] if s["state"] == "down"]
                reload_notices.update(n["text"] for n in state["notices"]
                                      if n["text"].startswith("tag file reload"))
                outcomes.update((a["id"], a["outcome"]) for a in state["actions"] if a["id"])
            samples.append(sample)
            next_sample += SAMPLE_EVERY_S
        time.sleep(max(0.0, min(next_write, next_read, next_sample, stop_at or float("inf")) -
                       time.monotonic()))
    save(os.path.join(state_dir, "client.json"),
         {"writes": writes, "reads": reads, "samples": samples,
          "reload_notices": sorted(reload_notices), "outcomes": outcomes})


def fins_read_words(port, area, address, count):
    """D words read from a simulator with FINS/TCP of our own."""
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(b"FINS" + struct.pack(">IIII", 12, 0, 0, 0))
        head = recv_exact(s, 16)
        length = struct.unpack(">I", head[4:8])[0]
        body = recv_exact(s, length - 8)
        if struct.unpack(">I", head[12:16])[0] != 0:
            raise RuntimeError("node address refused")
        client, plc = struct.unpack(">II", body[:8])
        fins = bytes([0x80, 0, 2, 0, plc, 0, 0, client, 0, 0x11, 1, 1, area]) + \
            struct.pack(">HBH", address, 0, count)
        s.sendall(b"FINS" + struct.pack(">III", 8 + len(fins), 2, 0) + fins)
        head = recv_exact(s, 16)
        reply = recv_exact(s, struct.unpack(">I", head[4:8])[0] - 8)
        if struct.unpack(">H", reply[12:14])[0] & 0x7F3F:  # PLC-state bits masked
            raise RuntimeError(f"end code {reply[12:14].hex()}")
        return list(struct.unpack(f">{count}H", reply[14:14 + 2 * count]))


def read_with_retries(port, address):
    # The simulators still spoil 1 % of replies (a flipped data byte among them): a value
    # counts when two reads in a row agree.
    last = None
    for attempt in range(20):
        try:
            value = fins_read_words(port, 0x82, address, 1)[0]
        except (OSError, RuntimeError, struct.error, IndexError):
            time.sleep(0.2)
            continue
        if value == last:
            return value
        last = value
    raise RuntimeError(f"no good read of D{address} on port {port}")


def recv_exact(s, n):
    data = b""
    while len(data) < n:
        chunk = s.recv(n - len(data))
        if not chunk:
            raise RuntimeError("closed")
        data += chunk
    return data


def judge(state_dir):
    cfg = load(os.path.join(state_dir, "config.json"))
    client = load(os.path.join(state_dir, "client.json"))
    report = load(os.path.join(state_dir, "host.json"), {})
    sims = [load(os.path.join(state_dir, f), {}) for f in sorted(os.listdir(state_dir))
            if f.startswith("sim-") and f.endswith(".json")]
    kills = load(os.path.join(state_dir, "kills.json"), [])  # [[down_t, up_t], ...]
    rows = []

    def check(name, ok, figures):
        rows.append((name, figures, "ok" if ok else "FAILED"))

    samples = [s for s in client["samples"] if s["rss_kb"]]
    base_t = FULL_RECORDS_S if cfg["seconds"] >= 2 * FULL_RECORDS_S else cfg["seconds"] / 2
    base = next((s for s in samples if s["t"] >= base_t), samples[0])
    end = samples[-1]
    growth = end["rss_kb"] - base["rss_kb"]
    first_minute = next((s for s in samples if s["t"] >= 60), samples[0])
    shown = "" if base is first_minute or base["t"] < 60 else \
        f"{first_minute['rss_kb']} kB at {first_minute['t']:.0f} s (records filling), "
    check("resident memory", growth < RSS_GROWTH_LIMIT_KB,
          f"{shown}{base['rss_kb']} kB at {base['t']:.0f} s, {end['rss_kb']} kB at end "
          f"({growth:+d} kB; limit +{RSS_GROWTH_LIMIT_KB})")
    # Descriptors come and go with the connections and the panel's requests: a leak
    # raises the floor, so the fewest open in the last 10 s must not exceed the most open
    # in the 10 s before the baseline.
    def fds_in(t0, t1):
        return [s["fds"] for s in samples if t0 <= s["t"] <= t1] or [0]
    fds_base = max(fds_in(base["t"] - 10, base["t"]))
    fds_end = min(fds_in(end["t"] - 10, end["t"]))
    check("open descriptors", fds_end <= fds_base,
          f"at most {fds_base} in the 10 s before {base['t']:.0f} s, at least {fds_end} "
          f"throughout the last 10 s")

    # Each write tag's memory must hold its last write that the PLC confirmed, or one made
    # after it whose answer was lost (a spoiled reply can hide a write that was carried
    # out); never anything older. The killed station's memory starts afresh, so only what
    # was written since it came back counts.
    actions = {int(i): {"outcome": o} for i, o in client["outcomes"].items()}
    actions.update((a["id"], a) for a in report.get("actions", []) if a["id"])
    station_up_since = {s: 0.0 for s in (1, 2)}
    for _, up in kills:
        station_up_since[cfg["killed_station"]] = up
    lost, compared = [], 0
    for tag in cfg["write_tags"]:
        made = [w for w in client["writes"] if w["tag"] == tag["name"] and w["id"] and
                w["t"] >= station_up_since[tag["station"]]]
        done = [i for i, w in enumerate(made) if actions.get(w["id"], {}).get("outcome") == "done"]
        if not done:
            continue
        port = cfg["plc_ports"][str(tag["station"])]
        memory = read_with_retries(port, tag["address"])
        compared += 1
        if memory not in [w["value"] for w in made[done[-1]:]]:
            lost.append(f"{tag['name']}: wrote {made[done[-1]]['value']}, PLC holds {memory}")
    check("last written values in the PLC", not lost and compared == len(cfg["write_tags"]),
          f"{compared} of {len(cfg['write_tags'])} tags compared" +
          ("; " + "; ".join(lost) if lost else ""))

    posted = [w for w in client["writes"] if w["id"]]
    outcomes = {}
    for w in posted:
        o = actions.get(w["id"], {}).get("outcome", "missing")
        outcomes[o] = outcomes.get(o, 0) + 1
    refused_409 = sum(1 for w in client["writes"] if w["code"] == 409)
    unanswered = len(client["writes"]) - len(posted) - refused_409
    check("every write has an outcome",
          not outcomes.get("pending") and not outcomes.get("missing") and not unanswered,
          f"{len(client['writes'])} writes: " +
          ", ".join(f"{k} {v}" for k, v in sorted(outcomes.items())) +
          f", refused at once (station down) {refused_409}")
    read_outcomes = {}
    for r in client["reads"]:
        o = actions.get(r["id"], {}).get("outcome", "missing") if r["id"] else f"http {r['code']}"
        read_outcomes[o] = read_outcomes.get(o, 0) + 1
    check("every one-shot read has an outcome",
          not read_outcomes.get("pending") and not read_outcomes.get("missing"),
          f"{len(client['reads'])} reads: " +
          ", ".join(f"{k} {v}" for k, v in sorted(read_outcomes.items())))

    longest = {1: 0.0, 2: 0.0}
    longest_at = {1: 0.0, 2: 0.0}
    since = {}
    for s in client["samples"]:
        for st in (1, 2):
            in_kill = st == cfg["killed_station"] and any(
                d - SAMPLE_EVERY_S <= s["t"] <= u + RECOVERY_LIMIT_S for d, u in kills)
            if st in s.get("down", []) and not in_kill:
                since.setdefault(st, s["t"])
                if s["t"] - since[st] + SAMPLE_EVERY_S > longest[st]:
                    longest[st] = s["t"] - since[st] + SAMPLE_EVERY_S
                    longest_at[st] = since[st]
            else:
                since.pop(st, None)
    # Exit code 6: writes refused while a station was down; 5: a station was down at the
    # end (a spoiled reply in the last second), which the samples judge.
    code = report.get("exit_code")
    check("every give-up recovered",
          max(longest.values()) <= RECOVERY_LIMIT_S and code in (0, 5, 6),
          f"longest down outside a kill: station 1 {longest[1]:.1f} s (at {longest_at[1]:.0f} s), "
          f"station 2 {longest[2]:.1f} s (at {longest_at[2]:.0f} s) (limit "
          f"{RECOVERY_LIMIT_S:.1f} s); host exit code {code}")
    peak = max((s.get("peak_open", 0) for s in sims), default=0)
    check("connections per station", 0 < peak <= 1,
          f"at most {peak} open at once ({len(sims)} simulator runs)")
    notices = " ".join(client["reload_notices"])
    reloads_ok = "tag file reloaded" in notices and "tag file reload refused" in notices
    check("tag file reloads", reloads_ok,
          f"{cfg['reloads']} SIGHUPs, one with a bad file (refused, run went on)")

    c = report.get("counters", {})
    faults = sum(s.get("faults", 0) for s in sims)
    requests = sum(s.get("requests", 0) for s in sims)
    rows.append(("counts", f"exchanges {c.get('exchanges')}, PLC requests {requests}, faults "
                 f"injected {faults}, retries {c.get('retries')}, give-ups {c.get('failures')}, "
                 f"connects {c.get('connects')} (reconnects {c.get('session_reopens')}), "
                 f"probes {c.get('probes')}, cycles {c.get('cycles')}", ""))

    width = max(len(r[0]) for r in rows)
    print(f"soak of {cfg['seconds']} s, station {cfg['killed_station']} killed "
          f"{len(kills)} time(s):")
    for name, figures, verdict in rows:
        print(f"  {name:<{width}}  {verdict:<6}  {figures}")
    failed = [r for r in rows if r[2] == "FAILED"]
    print("soak: " + ("every check passed" if not failed else f"{len(failed)} check(s) FAILED"))
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("run", "judge"):
        sys.exit(__doc__)
    sys.exit(run(sys.argv[2]) if sys.argv[1] == "run" else judge(sys.argv[2]))
