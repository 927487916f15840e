#!/bin/bash
# Smoke run of the validation case lists that have no test of their own: the
# first case of each list through scripts/refined_research.sh for 0,3 s of
# model time; every line must be a row of numbers, not a failure, and the
# wall layer's budget file must count the rings the layer took.
#   validation_smoke_test.sh BATCH_TOOL
set -eu
batch=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for list in layer_reentrant layer_flush outer_reentrant outer_flush diffusion_reentrant diffusion_flush; do
  grep -v '^#' "$root/examples/validation/$list.cases" | head -1 > "$work/one.cases"
  KEEP=$work bash "$root/scripts/refined_research.sh" "$batch" "$work/one.cases" 0.3 0.1 > "$work/out.tsv"
  label=$(cut -f1 "$work/one.cases" -d' ')
  if ! awk -F'\t' 'NF == 11 && $5 + 0 > 0 && $5 + 0 <= 1.5 { ok = 1 } END { exit !ok }' "$work/out.tsv"; then
    echo "$list: no row of results: $(cat "$work/out.tsv")"
    status=1
  fi
  if ! grep -q '^layer_rings_per_s;' "$work/$label.budget"; then
    echo "$list: the budget file does not count the layer's rings"
    status=1
  fi
done
[ $status -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $status
