#!/usr/bin/env bash
# Memory of velmora-cli checking N URLs (default 2000) against the local simulator:
# delay 100 ms, 20 threads, short latency; every answer carries advice. Prints the CLI's
# retained bytes per URL (RSS after the run minus RSS before it) and its peak RSS.
# Takes N x 2 x 120 ms (8 minutes for 2000 URLs): the pacing grid sets the pace.
# CATEGORIES=all asks for the four Lighthouse categories (the simulator then answers with them).
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-2000}
build=${BUILD:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target velmora-cli psi-sim >/dev/null
work=$(mktemp -d)
trap 'kill $sim 2>/dev/null || true; rm -rf "$work"' EXIT
"$build/tools/psi-sim/psi-sim" --latency 5-20 >"$work/sim.out" &
sim=$!
for _ in $(seq 50); do grep -q listening "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
endpoint=$(grep -o 'http://[0-9.:]*' "$work/sim.out")
for i in $(seq "$n"); do
  if ((i % 2)); then echo "https://shop$i.example/catalogue/item-$i?ref=list"; else echo "https://site$i.example/heavy/page-$i"; fi
done >"$work/urls.txt"
: >"$work/none.ini"  # every default, nothing of this machine's own settings
"$build/src/cli/velmora-cli" --quiet --stats --endpoint "$endpoint" --threads 20 --delay 100 \
  --ini "$work/none.ini" --desktop-csv "$work/d.csv" --mobile-csv "$work/m.csv" \
  --categories "${CATEGORIES:-performance}" "$work/urls.txt"
echo "csv rows: desktop $(($(wc -l <"$work/d.csv") - 1)), mobile $(($(wc -l <"$work/m.csv") - 1))"
