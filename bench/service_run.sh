#!/usr/bin/env bash
# velmora-cli against the local simulator run as a process of its own, so that the figures are
# the client's alone: N URLs (default 200) x 2 strategies, all four categories, gzip as the
# client asks for it, connections kept by the simulator.
#
# Default scenario, the service at its worst usual: latency 1-3 s, a quota of 120 requests a
# minute, 5 % HTTP 500s, 2 % dropped connections. Prints the requests the simulator saw, its
# quota refusals, the connections they came over, the gaps between two arrivals (on a loaded
# machine the simulator's own timing adds some tens of ms of noise; the gap after a drop is
# what a hidden re-send would shorten to a few ms), the wall time over the bound (the requests
# the quota let pass, at its rate: P x 60 / QUOTA s), and the client's CPU seconds (user + sys,
# also per 400 requests) and peak memory.
#
# CPU alone: LATENCY=5-20 QUOTA=0 FAIL=0 DROP=0 bench/service_run.sh  (target: at most 0.5 CPU
# seconds per 400 requests). CLI=path runs another build of velmora-cli against the same sim.
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-200}
build=${BUILD:-build-bench}
if [ -z "${CLI:-}" ] || [ -z "${SIM:-}" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_BENCH=ON >/dev/null
  cmake --build "$build" --target velmora-cli psi-sim >/dev/null
fi
cli=${CLI:-$build/src/cli/velmora-cli}
sim_exe=${SIM:-$build/tools/psi-sim/psi-sim}
latency=${LATENCY:-1000-3000} quota=${QUOTA:-120} threads=${THREADS:-20} delay=${DELAY:-100}
work=$(mktemp -d)
trap 'kill $sim 2>/dev/null || true; rm -rf "$work"' EXIT
"$sim_exe" --latency "$latency" --quota "$quota" --fail-rate "${FAIL:-0.05}" \
  --drop-rate "${DROP:-0.02}" --keep-alive 100000 --keep-alive-s 120 --seed "${SEED:-1}" \
  --log "$work/requests.jsonl" >"$work/sim.out" &
sim=$!
for _ in $(seq 50); do grep -q listening "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
endpoint=$(grep -o 'http://[0-9.:]*' "$work/sim.out")
for i in $(seq "$n"); do
  if ((i % 2)); then echo "https://shop$i.example/catalogue/item-$i"; else echo "https://site$i.example/heavy/page-$i"; fi
done >"$work/urls.txt"
: >"$work/none.ini"  # every default, nothing of this machine's own settings
/usr/bin/time -f "%U %S %M %e" -o "$work/time" "$cli" --quiet --no-history --ini "$work/none.ini" \
  --endpoint "$endpoint" --threads "$threads" --delay "$delay" --categories all \
  --json "$work/results.jsonl" "$work/urls.txt" || true
python3 - "$work" "$n" "$quota" "$delay" <<'EOF'
import json, sys
work, n, quota, delay = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
user, system, peak_kb, wall = open(f"{work}/time").read().split()[-4:]
cpu = float(user) + float(system)
rows = [json.loads(l) for l in open(f"{work}/requests.jsonl")]
rows.sort(key=lambda r: r["arrivalMs"])
gaps = [b["arrivalMs"] - a["arrivalMs"] for a, b in zip(rows, rows[1:])]
# A request sent again behind the pace's back arrives a moment after its connection dropped.
after_drop = [g for a, g in zip(rows, gaps) if a["outcome"] == "drop"]
refused = sum(r["outcome"].startswith("quota") for r in rows)
passed = len(rows) - refused
bound = max(len(rows) * (delay + 20) / 1000, passed * 60 / quota if quota else 0)
results = [json.loads(l) for l in open(f"{work}/results.jsonl")]
ok = sum(r.get("status") == "ok" for r in results)
gzip = sum("gzip" in r.get("acceptEncoding", "") for r in rows)
print(f"requests={len(rows)} refusals={refused} connections={len({r.get('clientPort') for r in rows})} "
      f"asked_gzip={gzip}/{len(rows)}")
print(f"smallest_gap_ms={min(gaps) if gaps else 0} gaps_below_delay={sum(g < delay for g in gaps)} "
      f"smallest_gap_after_a_drop_ms={min(after_drop) if after_drop else '-'} (delay {delay})")
print(f"ok_results={ok} of {2 * n}")
print(f"wall_s={float(wall):.1f} bound_s={bound:.1f} ratio={float(wall) / bound:.3f}")
print(f"cpu_s={cpu:.2f} (user {user}, sys {system}) cpu_s_per_400_requests={cpu * 400 / len(rows):.3f} "
      f"peak_rss_mb={int(peak_kb) / 1024:.1f}")
EOF
