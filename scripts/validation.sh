#!/bin/bash
# Regenerates docs/validation.md: runs every case list of examples/validation
# (*.cases: the re-entrant and flush inlets, the research candidates, the
# default hood's free-vortex limits) one run after another, 8 s of model
# time averaged from 3 s, keeps each run's averages file, and writes the
# tables into the document; then the convergence studies of
# examples/validation/{reentrant,flush}.toml (study plan, run, collect) for
# the grid convergence indices; the wall rules (wall.cases) run 20 s averaged
# from 10 s, and so do the wall layer's, the one-sided Kutta flux's and the
# diffusion's studies (layer_*, outer_*, diffusion_*.cases). About five hours
# of one core.
#   scripts/validation.sh [BATCH_TOOL] [RESULTS_DIR]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
batch=${1:-$root/build/rinfet-mdv-batch}
results=${2:-$root/build/validation}
mkdir -p "$results"
for list in reentrant candidates flush hood; do
  KEEP=$results bash "$root/scripts/refined_research.sh" "$batch" \
    "$root/examples/validation/$list.cases" 8 3 > "$results/$list.tsv"
done
KEEP=$results bash "$root/scripts/refined_research.sh" "$batch" \
  "$root/examples/validation/wall.cases" 20 10 > "$results/wall.tsv"
# The wall layer in metres: its 3×3 studies in h and dt (both inlets), 20 s
# averaged from 10 s; about twenty minutes of one core each.
for list in layer_reentrant layer_flush; do
  KEEP=$results bash "$root/scripts/refined_research.sh" "$batch" \
    "$root/examples/validation/$list.cases" 20 10 > "$results/$list.tsv"
done
# The one-sided Kutta flux (--shedding outer): h, dt, d_p, the layer and the
# wall's thickness at both inlets, 20 s averaged from 10 s; about half an
# hour of one core.
for list in outer_reentrant outer_flush; do
  KEEP=$results bash "$root/scripts/refined_research.sh" "$batch" \
    "$root/examples/validation/$list.cases" 20 10 > "$results/$list.tsv"
done
# The diffusive velocity of a turbulent viscosity in place of the wall layer
# (--viscosity): ν, then h and dt at ν = 3e-4 m²/s, the probe at 2δ and a
# thinner wall, at both inlets, 20 s averaged from 10 s; about an hour and a
# half of one core (the largest ν alone takes twenty minutes).
for list in diffusion_reentrant diffusion_flush; do
  KEEP=$results bash "$root/scripts/refined_research.sh" "$batch" \
    "$root/examples/validation/$list.cases" 20 10 > "$results/$list.tsv"
done
# The convergence studies of the two inlets (grid convergence index per result).
for study in reentrant flush; do
  rm -rf "$results/study-$study"
  "$batch" study plan "$root/examples/validation/$study.toml" "$results/study-$study"
  "$batch" study run "$results/study-$study" -j 1
  "$batch" study collect "$results/study-$study"
done
python3 "$root/scripts/validation_doc.py" "$results" "$root/docs/validation.md"
