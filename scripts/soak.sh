#!/usr/bin/env bash
# Long run: 20 s of model time (4000 steps) on the defaults with 400 free
# vortices. Fails when memory grows after the free-vortex limit is reached
# (more than 2 MiB) or the run does not end normally. Prints the summary:
# steps, wall time, smallest free-vortex radius, peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null
out=$(mktemp)
trap 'rm -f "$out" "$out.evt"' EXIT
build/rinfet-mdv-batch run --max-time "${MDV_SOAK_TIME:-20}" --max-free 400 --save "$out.evt" >"$out"
cat "$out"
line=$(grep 'Память при достижении предела' "$out")
at_limit=$(echo "$line" | sed -E 's/.*вихрей: ([0-9]+,[0-9]) МБ, .*/\1/' | tr , .)
at_end=$(echo "$line" | sed -E 's/.*после: ([0-9]+,[0-9]) МБ/\1/' | tr , .)
awk -v a="$at_limit" -v b="$at_end" 'BEGIN { if (b - a > 2.0) { print "memory grew: " a " -> " b " MiB"; exit 1 } }'
echo "soak: memory at the limit ${at_limit} MiB, largest after it ${at_end} MiB"
