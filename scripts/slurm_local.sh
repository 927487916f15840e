# A one-node Slurm cluster on this machine, for tests and trials: munged,
# slurmctld and slurmd with a generated slurm.conf, their state, logs, pid
# files and munge socket in one folder, on two free ports, so that it meets
# no other cluster on the host. Source this file, then
#   slurm_local_start DIR   (exports SLURM_CONF; returns 1 with a message on stderr)
#   slurm_local_stop DIR    (stops the daemons by their pid files)

slurm_local_stop() {
  local work=$1 pidfile pid
  for pidfile in slurmd.pid slurmctld.pid munge/munged.pid; do
    [ -f "$work/$pidfile" ] || continue
    pid=$(cat "$work/$pidfile" 2>/dev/null) || continue
    [ -n "$pid" ] || continue
    kill "$pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null
  done
  return 0
}

slurm_local_start() {
  local work=$1 host tool ctld_port slurmd_port socket conf idle
  host=$(hostname -s)
  for tool in munged munge unmunge slurmctld slurmd sinfo python3 runuser; do
    command -v "$tool" >/dev/null || { echo "a local Slurm cluster needs $tool (Debian packages slurm-wlm, munge)" >&2; return 1; }
  done
  mkdir -p "$work" && chmod 755 "$work"
  # Two free TCP ports.
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
  chown -R munge:munge "$work/munge" 2>/dev/null || { echo "cannot give the munge folder to the munge user" >&2; return 1; }
  socket="$work/munge/munge.socket"
  runuser -u munge -- /usr/sbin/munged --socket="$socket" --key-file="$work/munge/munge.key" \
    --pid-file="$work/munge/munged.pid" --log-file="$work/munge/munged.log" \
    --seed-file="$work/munge/munged.seed" --num-threads=2 \
    || { echo "munged did not start on this machine" >&2; return 1; }
  for _ in $(seq 50); do [ -S "$socket" ] && break; sleep 0.1; done
  munge --socket="$socket" -n | unmunge --socket="$socket" >/dev/null \
    || { echo "munged started but does not answer (munge -n | unmunge)" >&2; return 1; }

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
  slurmctld -f "$conf" || { echo "slurmctld did not start on this machine" >&2; return 1; }
  slurmd -f "$conf" || { echo "slurmd did not start on this machine" >&2; return 1; }
  idle=no
  for _ in $(seq 100); do
    if sinfo -h -o '%t' 2>/dev/null | grep -qx 'idle'; then idle=yes; break; fi
    sleep 0.2
  done
  [ "$idle" = yes ] || { echo "the Slurm node did not become idle (sinfo: $(sinfo -h 2>&1))" >&2; return 1; }
  echo "Slurm cluster up in $work: slurmctld port $ctld_port, slurmd port $slurmd_port" >&2
}
