#!/bin/bash
# Smoke run of the validation's case lines, one per inlet (the re-entrant
# tube end and the flanged inlet), for 0,3 s of model time: each must run
# with the refined model's own set and write an averages file that names the
# set and holds a flux through the channel near continuity's.
#   validation_smoke_test.sh BATCH_TOOL
set -eu
batch=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
for label in reentrant_W20_r0 flanged_r0; do
  # The case's own line, at the coarsest spacing its wall allows.
  line=$(grep "^$label " "$root/examples/validation/goals.cases" | sed 's/--vortex-spacing [^ ]*/--vortex-spacing 0.01/')
  # shellcheck disable=SC2086  # the options are words of the case line
  set -- $line
  shift 2
  if "$batch" run "$@" --max-time 0.3 --average-from 0.1 --averages "$work/$label.json" \
      > "$work/out" 2>&1 &&
     python3 - "$work/$label.json" <<'PY'
import json, sys
j = json.load(open(sys.argv[1]))
s = j["refined_set"]
assert j["model"] == "refined" and s["placement"] in ("convected", "nascent"), j.get("model")
assert abs(s["smoothing_length"] - 0.01) < 1e-12 and abs(s["viscosity"] - 3e-4) < 1e-12, s
assert 0.8 < j["flux"]["ratio"] < 1.2, j["flux"]
PY
  then
    passed=$((passed + 1))
  else
    echo "$label: $(tail -3 "$work/out")"
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
