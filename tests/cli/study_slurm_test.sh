#!/usr/bin/env bash
# A 4-case study through a Slurm job array on a one-node cluster started here
# (munged, slurmctld and slurmd on this host, a generated slurm.conf and all
# their files in a temporary folder, own ports and munge socket), stopped at
# the end whatever happens. The collected table must have 4 done rows with
# results, equal to the table of the same study run with `study run`.
# Daemons that cannot start fail the test: it never passes without Slurm.
#
#   study_slurm_test.sh BATCH_EXE
set -uo pipefail
exe=${1:?usage: study_slurm_test.sh path/to/rinfet-mdv-batch}
exe=$(readlink -f "$exe")

source "$(dirname "$0")/../../scripts/slurm_local.sh"
work=$(mktemp -d /tmp/mdv-slurm-XXXXXX)
chmod 755 "$work"

cleanup() {
  slurm_local_stop "$work/cluster"
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  for log in munge/munged.log slurmctld.log slurmd.log; do
    [ -f "$work/cluster/$log" ] && { echo "---- $log (end)" >&2; tail -n 20 "$work/cluster/$log" >&2; }
  done
  exit 1
}

command -v sbatch >/dev/null && command -v squeue >/dev/null || fail "the Slurm test needs sbatch and squeue (slurm-wlm)"
slurm_local_start "$work/cluster" || fail "the local Slurm cluster did not start on this machine"

# ---- the study ----
cat >"$work/study.toml" <<'EOF'
name = "Slurm test"
[base]
max-time = 0.05
[sweep]
flange-angle-deg = [30, 60]
inflow-speed = [0, "0,75"]
[results]
points = [[0.1, 0.05]]
EOF
# A blank in the folder's path: the job script must carry it to sbatch and the shell.
viaslurm="$work/via slurm"
"$exe" study plan "$work/study.toml" "$viaslurm" >/dev/null || fail "study plan"
"$exe" study plan "$work/study.toml" "$work/local" >/dev/null || fail "study plan"
job=$("$exe" study slurm "$viaslurm" --max-running 2 --submit) || fail "study slurm --submit: $job"
[[ "$job" =~ ^[0-9]+$ ]] || fail "study slurm --submit printed '$job', not a job id"
grep -q -- '--array=0-3%2' "$viaslurm/study.sbatch" || fail "the job script has no --array=0-3%2"
echo "job $job submitted"
finished=no
for _ in $(seq 600); do
  if [ -z "$(squeue -h -j "$job" 2>/dev/null)" ]; then finished=yes; break; fi
  sleep 0.5
done
[ "$finished" = yes ] || fail "the job array $job did not finish in 300 s"

logs=$(ls "$viaslurm"/slurm/*.out 2>/dev/null | wc -l)
[ "$logs" -eq 4 ] || fail "$logs of 4 task logs in $viaslurm/slurm"
"$exe" study collect "$viaslurm" >/dev/null || fail "study collect after Slurm"
csv="$viaslurm/results.csv"
rows=$(tail -n +2 "$csv" | wc -l)
[ "$rows" -eq 4 ] || fail "results.csv has $rows rows, not 4"
done_rows=$(tail -n +2 "$csv" | awk -F';' '$4 == "done" && $6 != ""' | wc -l)
[ "$done_rows" -eq 4 ] || { cat "$csv" >&2; cat "$viaslurm"/slurm/*.out >&2; fail "$done_rows of 4 rows are done with results"; }

"$exe" study run "$work/local" -j 2 >/dev/null 2>&1 || fail "study run -j 2"
"$exe" study collect "$work/local" >/dev/null || fail "study collect after study run"
cmp -s "$csv" "$work/local/results.csv" || {
  diff "$csv" "$work/local/results.csv" >&2
  fail "the Slurm table differs from the table of study run"
}
echo "PASS: 4 cases through Slurm job $job, the same table as study run -j 2"
