#!/usr/bin/env bash
# Memory of the desktop program (offscreen) with one run of N URLs (default 10 000): checked
# live, and the same run opened from the history. Prints both and the opened run's share of
# the live one; the target is within 10 %.
# Usage: bench/history_memory.sh [N]   (BUILD picks the build folder, default build)
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-10000}
build=${BUILD:-build}
cmake --build "$build" --target history_memory >/dev/null
bin=$build/bench/history_memory
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work XDG_CONFIG_HOME=$work QT_QPA_PLATFORM=offscreen
"$bin" prepare "$work/run.sqlite" "$n"
live=$("$bin" live "$n" | tee /dev/stderr)
loaded=$("$bin" loaded "$work/run.sqlite" | tee /dev/stderr)
# The run's own part: the growth of RSS and heap over the window before it.
share() { sed -n "s/.*$1 [0-9]* KB (+\([-0-9]*\) KB.*/\1/p"; }
for what in RSS heap; do
  a=$(echo "$live" | share "$what")
  b=$(echo "$loaded" | share "$what")
  awk -v w="$what" -v a="$a" -v b="$b" \
    'BEGIN { printf "%s of the run: live %d KB, opened %d KB, opened/live %.1f %%\n", w, a, b, 100 * b / a }'
done
