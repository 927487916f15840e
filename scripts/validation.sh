#!/bin/bash
# Regenerates docs/validation.md: runs every line of
# examples/validation/goals.cases, convergence.cases and contours.cases with
# the refined model's own set (20 s of model time averaged from 10 s), then
# profiles the flanged and the re-entrant inlet along their own vortex zones
# and runs the profiled contours, JOBS at a time,
# keeps each run's averages file and output in RESULTS_DIR (a case whose
# averages file is there already is not run again), then writes the report
# and its plots. About three hours of one core.
#   scripts/validation.sh [BATCH_TOOL] [RESULTS_DIR] [JOBS]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
batch=${1:-$root/build/rinfet-mdv-batch}
results=${2:-$root/build/validation}
jobs=${3:-1}
mkdir -p "$results"
results=$(cd "$results" && pwd)
cd "$root"  # the case lines name their contour files from here
run_case() {  # LABEL X0 OPTIONS...
  local label=$1
  shift 2
  [ -s "$results/$label.json" ] && return 0
  local start=$SECONDS
  # shellcheck disable=SC2068  # the options are words of the case line
  if "$batch" run $@ --max-time 20 --average-from 10 --averages "$results/$label.json.part" \
      > "$results/$label.out" 2>&1; then
    echo "wall_seconds=$((SECONDS - start))" >> "$results/$label.out"
    mv "$results/$label.json.part" "$results/$label.json"
  else
    echo "$label: не удался (см. $results/$label.out)" >&2
  fi
}
export -f run_case
export batch results
# The first replicas, then the convergence, then the other replicas, then the
# thinnest wall (h = 0,001 m: an hour of one core alone).
{
  grep -v '^#' "$root/examples/validation/goals.cases" | grep '_r0 ' | grep -v '^reentrant_W2_'
  grep -v '^#' "$root/examples/validation/convergence.cases"
  grep -v '^#' "$root/examples/validation/goals.cases" | grep -v '_r0 '
  grep -v '^#' "$root/examples/validation/contours.cases"
  grep '^reentrant_W2_' "$root/examples/validation/goals.cases"
} | grep . | xargs -P "$jobs" -L 1 bash -c 'run_case "$@"' _
# The inlets profiled along their own mean separation streamline, then run.
for stem in flanged reentrant_W20; do
  if [ -s "$results/${stem}_r0.json" ] && [ ! -s "$results/${stem}_profiled.toml" ]; then
    "$batch" profile "$results/${stem}_r0.json" --out "$results/${stem}_profiled.toml" \
      > "$results/${stem}_profile.out" 2>&1 || echo "$stem: профиль не построен (см. $results/${stem}_profile.out)" >&2
  fi
  if [ -s "$results/${stem}_profiled.toml" ]; then
    echo "${stem}_profiled 0 --contour $results/${stem}_profiled.toml --precision double --threads 1 --dt 0.005"
  fi
done | xargs -P "$jobs" -L 1 bash -c 'run_case "$@"' _
python3 "$root/scripts/validation_doc.py" "$results" "$root/docs/validation.md"
