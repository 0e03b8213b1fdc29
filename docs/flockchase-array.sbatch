#!/bin/bash
# A flockchase sweep as a Slurm job array: K segments run as K array tasks,
# and the merge runs as a job that depends on all of them. Submit with
#
#     docs/flockchase-array.sbatch submit [K] [flockchase options ...]
#
# from the (shared) directory the results should go to, for example
#
#     docs/flockchase-array.sbatch submit 40 --robust --passes 400000
#
# Every task and the merge must see the same options; this script passes
# them on. flockchase must be on PATH on the compute nodes (or set
# FLOCKCHASE to its path), and picvec for the merge's PNG.
#SBATCH --job-name=flockchase
#SBATCH --cpus-per-task=2
#SBATCH --output=flockchase-%A_%a.out
#SBATCH --error=flockchase-%A_%a.err
set -euo pipefail
flockchase=${FLOCKCHASE:-flockchase}

case "${1:-}" in
  submit)
    shift
    count=${1:?the number of segments}
    shift
    script=$(readlink -f "$0")
    array=$(sbatch --parsable --array="1-$count" "$script" segment "$count" "$@")
    sbatch --parsable --dependency="afterok:$array" --job-name=flockchase-merge \
      --output=flockchase-merge.out --error=flockchase-merge.err "$script" merge "$@"
    ;;
  segment)
    # One array task: segment SLURM_ARRAY_TASK_ID of K, unattended.
    shift
    count=$1
    shift
    # A task that Slurm requeues continues from its checkpoint.
    resume=()
    [ -f "flockchase.seg$SLURM_ARRAY_TASK_ID-$count.checkpoint" ] && resume=(--resume)
    exec "$flockchase" --headless --threads 2 "$@" --segment "$SLURM_ARRAY_TASK_ID/$count" "${resume[@]}" </dev/null
    ;;
  merge)
    shift
    exec "$flockchase" --headless "$@" --merge </dev/null
    ;;
  *)
    echo "usage: $0 submit K [flockchase options ...]" >&2
    exit 2
    ;;
esac
