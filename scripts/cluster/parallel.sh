#!/usr/bin/env bash
# Runs one batch as N shards over the machines of an ssh login file with GNU
# parallel, one shard per job. Run it again after a failure or a kill: the
# job log gives --resume-failed the shards that did not end well, and
# --existing skip makes those convert only what is missing.
#
#   scripts/cluster/parallel.sh LOGINS N LIST OUTPUT LOGS [quillon-convert options...]
#
# LOGINS  parallel's --sshloginfile ("4/user@host" lines; ":" is this machine)
# LIST    the paths to convert, one per line; LIST, OUTPUT and LOGS must be on
#         storage every machine sees under the same path
# LOGS    gets each shard's log, manifest (shard-K.sha256), failed list
#         (failed-K.txt) and the job log (joblog)
# QC      the program on the machines (default quillon-convert); PARALLEL_SSH
#         the ssh command parallel uses.
set -euo pipefail
if (($# < 5)); then
  sed -n '2,16p' "$0" >&2
  exit 2
fi
logins=$1 shards=$2 list=$3 output=$4 logs=$5
shift 5
exec parallel --sshloginfile "$logins" --joblog "$logs/joblog" --resume-failed --halt never --quote \
  "${QC:-quillon-convert}" --shard "{}/$shards" --files-from "$list" -o "$output" --existing skip \
  --log-dir "$logs" --manifest "$logs/shard-{}.sha256" --failed-list "$logs/failed-{}.txt" -q "$@" \
  ::: $(seq 1 "$shards")
