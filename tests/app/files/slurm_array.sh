#!/usr/bin/env bash
# Runs docs/flockchase-array.sbatch under a single-node Slurm cluster of its
# own (controller, node daemon, munge), started in a temporary directory on
# ports of its own: three segments of a small converging range as an array,
# then the merge as a dependent job. Exit 0 when the merged results and
# chart are there, 77 when this machine cannot run such a cluster (not root,
# Slurm or munge not installed), anything else on a failure.
#   slurm_array.sh FLOCKCHASE_BINARY SOURCE_DIR
set -uo pipefail
binary=$1
source_dir=$2
for tool in slurmctld slurmd munged sbatch squeue sinfo; do
  command -v "$tool" >/dev/null 2>&1 || [ -x "/usr/sbin/$tool" ] || { echo "no $tool"; exit 77; }
done
[ "$(id -u)" -eq 0 ] || { echo "not root: cannot start slurmd"; exit 77; }
export PATH="/usr/sbin:$PATH"

dir=$(mktemp -d /tmp/flockchase-slurm-XXXXXX)
host=$(hostname -s)
mkdir -p "$dir"/{state,spool,log,run,bin}
export SLURM_CONF="$dir/slurm.conf"
cat > "$SLURM_CONF" <<CONF
ClusterName=flockchasetest
SlurmctldHost=$host
SlurmctldPort=16817
SlurmdPort=16818
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
MpiDefault=none
NodeName=$host CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF

stop() {
  for daemon in slurmd slurmctld; do
    [ -f "$dir/$daemon.pid" ] && kill "$(cat "$dir/$daemon.pid")" 2>/dev/null
  done
  sleep 1
  rm -rf "$dir"
}
trap stop EXIT

# Munge: the cluster's authentication, started when it is not running.
if ! munge -n >/dev/null 2>&1; then
  [ -f /etc/munge/munge.key ] || mungekey -c >/dev/null 2>&1 || dd if=/dev/urandom of=/etc/munge/munge.key bs=1024 count=1 2>/dev/null
  chown munge:munge /etc/munge/munge.key 2>/dev/null; chmod 400 /etc/munge/munge.key
  mkdir -p /run/munge && chown munge:munge /run/munge
  su -s /bin/sh munge -c munged >/dev/null 2>&1 || munged --force >/dev/null 2>&1
  sleep 1
  munge -n >/dev/null 2>&1 || { echo "munge does not start"; exit 77; }
fi
slurmctld -f "$SLURM_CONF" || { echo "slurmctld does not start"; cat "$dir/log/slurmctld.log"; exit 77; }
slurmd -f "$SLURM_CONF" || { echo "slurmd does not start"; cat "$dir/log/slurmd.log"; exit 77; }
for _ in $(seq 60); do
  sinfo -h -o %t 2>/dev/null | grep -q idle && break
  sleep 1
done
sinfo -h -o %t | grep -q idle || { echo "the node did not come up"; tail "$dir"/log/*.log; exit 77; }

# A converter that notes how it was called.
printf '#!/bin/sh\necho "$@" >> "%s/picvec.calls"\n' "$dir/run" > "$dir/bin/picvec"
chmod +x "$dir/bin/picvec"
cd "$dir/run"
export PATH="$dir/bin:$PATH" FLOCKCHASE="$binary"
merge_job=$("$source_dir/docs/flockchase-array.sbatch" submit 3 --damping 0.83:0.87 --step 3) || exit 1
echo "merge job $merge_job"
for _ in $(seq 900); do
  [ -z "$(squeue -h 2>/dev/null)" ] && break
  sleep 1
done
[ -z "$(squeue -h)" ] || { echo "jobs still queued after 15 minutes"; squeue; exit 1; }

status=0
[ "$(head -1 flockchase.csv 2>/dev/null)" = \
  "column,damping,exponent,spread,mean_divergence,end,passes,measured_passes,seconds,standard_error,blocks,large_passes,extrapolated,tangent_exponent,tangent_standard_error,segment,regime,captures,chaotic_time,capture_rate,collapse_rate,integrator,tolerance,steps,rejected_steps,settled_time,regular_exponent,regular_standard_error,laminar_phases,members,ended_chaotic,ended_settled,ended_captured,ended_stalled,chaotic_share_low,chaotic_share_high,settled_share_low,settled_share_high,captured_share_low,captured_share_high,escapes,member_chaotic_time,escape_rate,escape_rate_low,escape_rate_high,attractors,attractor_shares,ensemble_exponent,ensemble_standard_error,positive_exponents,zero_exponents,kaplan_yorke,sum_residual,spectrum_certificate" ] ||
  { echo "no merged results file"; status=1; }
[ "$(wc -l < flockchase.csv)" -eq 12 ] || { echo "the merge does not hold 11 columns"; status=1; }
[ "$(stat -c %s flockchase.bmp 2>/dev/null)" = 1592502 ] || { echo "no merged chart"; status=1; }
grep -qx flockchase picvec.calls || { echo "the merge did not start the converter"; status=1; }
for i in 1 2 3; do [ -f "flockchase.seg$i-3.csv" ] || { echo "segment $i missing"; status=1; }; done
if [ "$status" -ne 0 ]; then
  ls -la; cat ./*.err 2>/dev/null | head -20
fi
exit "$status"
