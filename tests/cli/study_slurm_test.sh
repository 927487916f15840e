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

work=$(mktemp -d /tmp/mdv-slurm-XXXXXX)
chmod 755 "$work"
host=$(hostname -s)

stop_daemons() {
  local pidfile pid
  for pidfile in slurmd.pid slurmctld.pid munge/munged.pid; do
    [ -f "$work/$pidfile" ] || continue
    pid=$(cat "$work/$pidfile" 2>/dev/null) || continue
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null
  done
}
cleanup() {
  stop_daemons
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  for log in munged.log slurmctld.log slurmd.log; do
    [ -f "$work/$log" ] && { echo "---- $log (end)" >&2; tail -n 20 "$work/$log" >&2; }
  done
  exit 1
}

for tool in munged slurmctld slurmd sbatch squeue sinfo python3; do
  command -v "$tool" >/dev/null || fail "the Slurm test needs $tool (Debian packages slurm-wlm, munge)"
done

# Two free TCP ports, so that this cluster does not meet another one on the host.
read -r ctld_port slurmd_port < <(python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')

# ---- munge ----
mkdir -p "$work/munge"
dd if=/dev/urandom of="$work/munge/munge.key" bs=1024 count=1 status=none
chmod 755 "$work/munge"
chmod 400 "$work/munge/munge.key"
chown -R munge:munge "$work/munge" 2>/dev/null || fail "cannot give the munge folder to the munge user"
socket="$work/munge/munge.socket"
runuser -u munge -- /usr/sbin/munged --socket="$socket" --key-file="$work/munge/munge.key" \
  --pid-file="$work/munge/munged.pid" --log-file="$work/munge/munged.log" \
  --seed-file="$work/munge/munged.seed" --num-threads=2 \
  || fail "munged did not start on this machine"
for _ in $(seq 50); do [ -S "$socket" ] && break; sleep 0.1; done
munge --socket="$socket" -n | unmunge --socket="$socket" >/dev/null \
  || fail "munged started but does not answer (munge -n | unmunge)"

# ---- slurm ----
mkdir -p "$work/state" "$work/spool"
conf="$work/slurm.conf"
cat >"$conf" <<EOF
ClusterName=mdvtest
SlurmctldHost=$host(127.0.0.1)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$socket
CredType=cred/munge
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerType=sched/backfill
MpiDefault=none
ReturnToService=2
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) RealMemory=1000 State=UNKNOWN
PartitionName=mdv Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF="$conf"
slurmctld -f "$conf" || fail "slurmctld did not start on this machine"
slurmd -f "$conf" || fail "slurmd did not start on this machine"
idle=no
for _ in $(seq 100); do
  if sinfo -h -o '%t' 2>/dev/null | grep -qx 'idle'; then idle=yes; break; fi
  sleep 0.2
done
[ "$idle" = yes ] || fail "the Slurm node did not become idle (sinfo: $(sinfo -h 2>&1))"
echo "Slurm cluster up: slurmctld port $ctld_port, slurmd port $slurmd_port"

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
"$exe" study plan "$work/study.toml" "$work/viaslurm" >/dev/null || fail "study plan"
"$exe" study plan "$work/study.toml" "$work/local" >/dev/null || fail "study plan"
job=$("$exe" study slurm "$work/viaslurm" --max-running 2 --submit) || fail "study slurm --submit: $job"
[[ "$job" =~ ^[0-9]+$ ]] || fail "study slurm --submit printed '$job', not a job id"
grep -q -- '--array=0-3%2' "$work/viaslurm/study.sbatch" || fail "the job script has no --array=0-3%2"
echo "job $job submitted"
finished=no
for _ in $(seq 600); do
  if [ -z "$(squeue -h -j "$job" 2>/dev/null)" ]; then finished=yes; break; fi
  sleep 0.5
done
[ "$finished" = yes ] || fail "the job array $job did not finish in 300 s"

"$exe" study collect "$work/viaslurm" >/dev/null || fail "study collect after Slurm"
csv="$work/viaslurm/results.csv"
rows=$(tail -n +2 "$csv" | wc -l)
[ "$rows" -eq 4 ] || fail "results.csv has $rows rows, not 4"
done_rows=$(tail -n +2 "$csv" | awk -F';' '$4 == "done" && $6 != ""' | wc -l)
[ "$done_rows" -eq 4 ] || { cat "$csv" >&2; cat "$work"/viaslurm/slurm/*.out >&2; fail "$done_rows of 4 rows are done with results"; }

"$exe" study run "$work/local" -j 2 >/dev/null 2>&1 || fail "study run -j 2"
"$exe" study collect "$work/local" >/dev/null || fail "study collect after study run"
cmp -s "$csv" "$work/local/results.csv" || {
  diff "$csv" "$work/local/results.csv" >&2
  fail "the Slurm table differs from the table of study run"
}
echo "PASS: 4 cases through Slurm job $job, the same table as study run -j 2"
