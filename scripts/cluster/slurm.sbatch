#!/usr/bin/env bash
# One shard of a batch per Slurm array task:
#
#   sbatch --array=1-N --export=ALL,LIST=/shared/list.txt,OUTPUT=/shared/tiff,LOGS=/shared/logs \
#          scripts/cluster/slurm.sbatch [quillon-convert options...]
#
# The task's part is taken from the array (--shard env), so N is given once,
# to sbatch. Submit the same array again after a failure or scancel: --existing
# skip makes each task convert only what is missing. LIST, OUTPUT and LOGS
# must be on storage every node sees; LOGS gets each task's log, manifest
# (shard-K.sha256) and failed list (failed-K.txt). QC: the program (default
# quillon-convert).
#SBATCH --job-name=quillon-convert
#SBATCH --ntasks=1
#SBATCH --cpus-per-task=1
set -euo pipefail
: "${LIST:?LIST names the list of paths}" "${OUTPUT:?OUTPUT names the output folder}" "${LOGS:?LOGS names the log folder}"
k=$((SLURM_ARRAY_TASK_ID - SLURM_ARRAY_TASK_MIN + 1))
exec "${QC:-quillon-convert}" --shard env --files-from "$LIST" -o "$OUTPUT" --existing skip \
  --log-dir "$LOGS" --manifest "$LOGS/shard-$k.sha256" --failed-list "$LOGS/failed-$k.txt" \
  --jobs "${SLURM_CPUS_PER_TASK:-1}" "$@"
