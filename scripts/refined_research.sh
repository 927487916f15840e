#!/bin/bash
# The refined model's research runs: one run per line of a case list, one
# after another, each a line of results (tab-separated) on stdout:
#   label h dt delta cc_max cc_section x_section flux_ratio free wall_s
# A case line: LABEL, X0 (the mouth's x, m: where the channel begins), then run options (without --max-time, --averages,
# --field-csv, which are added). Lines starting with # are skipped. With KEEP,
# a refined run also writes its circulation budget (--refined-budget) as LABEL.budget.
#   scripts/refined_research.sh BATCH CASES MAXTIME AVERAGEFROM > table.tsv
set -eu
batch=$1
cases=$2
maxtime=$3
from=$4
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
while read -r label x0 options; do
  [ -z "$label" ] && continue
  case $label in \#*) continue ;; esac
  start=$(date +%s.%N)
  budget=()
  case " $options " in *" --model refined "*) [ -n "${KEEP:-}" ] && budget=(--refined-budget "$work/b.txt") ;; esac
  # shellcheck disable=SC2086  # the options are words of the case line
  if ! "$batch" run $options "${budget[@]}" --max-time "$maxtime" --average-from "$from" \
      --averages "$work/a.json" --field-csv "$work/f.csv" > "$work/out" 2> "$work/err"; then
    printf '%s\tfailed: %s\n' "$label" "$(tr '\n' ' ' < "$work/err")"
    continue
  fi
  end=$(date +%s.%N)
  # KEEP: a folder that keeps each run's averages file and mean field as LABEL.json, LABEL.csv.
  if [ -n "${KEEP:-}" ]; then
    cp "$work/a.json" "$KEEP/$label.json"; cp "$work/f.csv" "$KEEP/$label.csv"
    if [ ${#budget[@]} -gt 0 ]; then cp "$work/b.txt" "$KEEP/$label.budget"; fi
  fi
  h=$(printf '%s\n' "$options" | sed -n 's/.*--vortex-spacing \([^ ]*\).*/\1/p')
  dt=$(printf '%s\n' "$options" | sed -n 's/.*--dt \([^ ]*\).*/\1/p')
  delta=$(printf '%s\n' "$options" | sed -n 's/.*--smoothing-length \([^ ]*\).*/\1/p')
  cc=$(python3 "$here/contraction.py" "$work/f.csv" "$x0")
  flux=$(python3 -c 'import json,sys; j=json.load(open(sys.argv[1])); print(round(j["flux"]["ratio"],4))' "$work/a.json")
  free=$(sed -n 's/^Свободных вихрей: \([0-9]*\).*/\1/p' "$work/out" | head -1)
  axis=$(python3 -c 'import json,sys; j=json.load(open(sys.argv[1])); print(round(1/j["monitors"][0]["mean"],4))' "$work/a.json")
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%.0f\n' "$label" "${h:-0.01}" "${dt:-C}" "${delta:-0.01}" \
    "$(echo "$cc" | tr ' ' '\t')" "$axis" "$flux" "${free:-?}" "$(echo "$end - $start" | bc)"
done < "$cases"
