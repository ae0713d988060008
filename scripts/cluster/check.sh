#!/usr/bin/env bash
# Runs the cluster recipes on real engines on this one machine (as root, Debian
# 12): a single-node Slurm (munged, slurmctld and slurmd on localhost) and an
# sshd bound to 127.0.0.1 for GNU parallel, each with its own configuration
# and key in a temporary folder. A nested tree of every source format is
# converted as 4 shards through each engine with mirrored folders and
# checksums; one task is killed mid-way (scancel; SIGKILL of the remote
# process), the batch is run again, and the result must equal one plain run
# byte for byte, with no temporaries, logs that parse and a merged manifest
# that `sha256sum -c` accepts. Every daemon started here is stopped on exit.
#
#   scripts/cluster/check.sh [path/to/quillon-convert]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
qc=$(readlink -f "${1:-$repo/build/cli/quillon-convert}")
[ -x "$qc" ] || { echo "check: no program at $qc (build first)" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "check: run as root (it starts Slurm and sshd)" >&2; exit 2; }
"$repo/scripts/deps.sh"

tmp=$(mktemp -d /tmp/qc-cluster.XXXXXX)
chmod 700 "$tmp"
pids=()
cleanup() {
  local rc=$?
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$p" 2>/dev/null || true
  done
  if ((rc != 0)); then
    echo "check: FAILED; daemon logs:" >&2
    tail -n 20 "$tmp"/*.log "$tmp"/slurm/*.log "$tmp"/slurm/*.out 2>/dev/null >&2 || true
  fi
  rm -rf "$tmp"
  exit "$rc"
}
trap cleanup EXIT

fail() { echo "check: $*" >&2; exit 1; }
# until SECONDS CONDITION...: polls the condition, fails after the time.
until_true() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  until "$@"; do
    ((SECONDS < end)) || fail "timed out after ${limit}s waiting for: $*"
    sleep 0.2
  done
}
free_port() {
  local p
  for p in $(shuf -i 20000-60000 -n 50); do
    (echo >"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
  done
  fail "no free port"
}

# --- the tree: every format, nested, a few hundred files -------------------
src=$tmp/src
seeds=("$repo"/fuzz/corpus/fuzz_image_{bmp,gif,jpeg,png,tiff}/*)
n=0
for box in a b c; do
  for shelf in 1 2 3; do
    for deep in "" /old; do
      d=$src/box-$box/shelf$shelf$deep
      mkdir -p "$d"
      for s in "${seeds[@]}"; do
        n=$((n + 1))
        cp "$s" "$d/$(printf '%04d' "$n")-$(basename "$s")"
      done
    done
  done
done
# Same name in two folders: only mirrored names keep both.
cp "${seeds[0]}" "$src/box-a/same.${seeds[0]##*.}"
cp "${seeds[1]}" "$src/box-b/same.${seeds[0]##*.}"

# The output's path below the output folder, and its shard of 4 by the
# program's rule (first 8 bytes of SHA-256, big-endian, mod 4: the 16th hex
# digit decides, as 16 is 0 mod 4).
out_of() { local r=${1#"$src"/}; echo "${r%.*}.tiff"; }
shard_of() { local h; h=$(printf %s "$1" | sha256sum); echo $(((16#${h:15:1} % 4) + 1)); }

# Ten large noisy BMPs of shard 2, one after another in its plan: the
# task is stopped while it works on them.
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)); }
big_bmp() { # path width height (width*3 a multiple of 4)
  local size=$(($2 * $3 * 3))
  { printf 'BM%b' "$(le32 $((size + 54)))$(le32 0)$(le32 54)$(le32 40)$(le32 "$2")$(le32 "$3")"
    printf '%b' '\x01\x00\x18\x00' "$(le32 0)$(le32 $size)$(le32 2835)$(le32 2835)$(le32 0)$(le32 0)"
    head -c "$size" /dev/urandom; } >"$1"
}
mkdir -p "$src/box-b/zz-large"
bigs=()
for ((c = 1; ${#bigs[@]} < 10 && c < 400; c++)); do
  f=$src/box-b/zz-large/scan-$c.bmp
  [ "$(shard_of "$(out_of "$f")")" = 2 ] || continue
  big_bmp "$f" 3000 2400
  bigs+=("$f")
done
find "$src" -type f | LC_ALL=C sort >"$tmp/list.txt"
total=$(wc -l <"$tmp/list.txt")
mapfile -t sources <"$tmp/list.txt"
# Outputs of shard 2 before the large files in its plan: once they exist the
# task is at work on the large ones.
before=()
for s in "${sources[@]}"; do
  [ "$s" = "${bigs[0]}" ] && break
  r=$(out_of "$s")
  [ "$(shard_of "$r")" = 2 ] && before+=("$r")
done
last_big=$(out_of "${bigs[9]}")
all_before_exist() {
  local out=$1 r
  for r in "${before[@]}"; do [ -f "$out/$r" ] || return 1; done
}

echo "check: $total sources in $(find "$src" -type d | wc -l) folders"
options=(-c lzw --mirror-from "$src" -j 1)

# --- one plain process ------------------------------------------------------
mkdir -p "$tmp/plain" "$tmp/plainlogs"
"$qc" --files-from "$tmp/list.txt" -o "$tmp/plain" --log-dir "$tmp/plainlogs" --checksums -q "${options[@]}" >/dev/null
[ "$(find "$tmp/plain" -type f | wc -l)" -eq "$total" ] || fail "the plain run did not make $total files"

verify() { # engine output logs
  local engine=$1 out=$2 logs=$3
  diff -r "$tmp/plain" "$out" >/dev/null || fail "$engine: the files differ from one plain run"
  ! find "$out" -name '.qc-*' | grep -q . || fail "$engine: temporaries left"
  local log
  for log in "$logs"/*.log; do xmllint --noout "$log" || fail "$engine: $log does not parse"; done
  cat "$logs"/shard-*.sha256 >"$tmp/merged.sha256"
  [ "$(wc -l <"$tmp/merged.sha256")" -eq "$total" ] || fail "$engine: the merged manifest lists $(wc -l <"$tmp/merged.sha256") of $total files"
  (cd "$out" && sha256sum -c --quiet "$tmp/merged.sha256") || fail "$engine: sha256sum -c"
  # Each shard made what the rule gives it, nothing else.
  local k r
  for k in 1 2 3 4; do
    while read -r _ r; do
      [ "$(shard_of "$r")" = "$k" ] || fail "$engine: $r is in shard $k's manifest"
    done <"$logs/shard-$k.sha256"
  done
  echo "check: $engine: $total files as one plain run, logs parse, sha256sum -c passes"
}

# --- Slurm ------------------------------------------------------------------
node=$(hostname -s)
sl=$tmp/slurm
mkdir -p "$sl/state" "$sl/spool" "$tmp/munge"
chmod 700 "$tmp/munge"
dd if=/dev/urandom of="$tmp/munge/key" bs=1024 count=1 status=none
chmod 400 "$tmp/munge/key"
/usr/sbin/munged -F --force --socket="$tmp/munge/socket" --key-file="$tmp/munge/key" \
  --pid-file="$tmp/munge/pid" --seed-file="$tmp/munge/seed" --log-file="$tmp/munged.log" >>"$tmp/munged.log" 2>&1 &
pids+=($!)
until_true 20 test -S "$tmp/munge/socket"
ctld_port=$(free_port)
d_port=$(free_port)
export SLURM_CONF=$sl/slurm.conf
cat >"$SLURM_CONF" <<CONF
ClusterName=qccheck
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$d_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$tmp/munge/socket
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerType=sched/backfill
StateSaveLocation=$sl/state
SlurmdSpoolDir=$sl/spool
SlurmctldPidFile=$sl/slurmctld.pid
SlurmdPidFile=$sl/slurmd.pid
SlurmctldLogFile=$sl/slurmctld.log
SlurmdLogFile=$sl/slurmd.log
ReturnToService=2
KillWait=5
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=check Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
/usr/sbin/slurmctld -D -c -f "$SLURM_CONF" >>"$sl/slurmctld.out" 2>&1 &
pids+=($!)
/usr/sbin/slurmd -D -f "$SLURM_CONF" -N "$node" >>"$sl/slurmd.out" 2>&1 &
pids+=($!)
node_idle() { [ "$(sinfo -h -n "$node" -o %T 2>/dev/null)" = idle ]; }
until_true 90 node_idle

mkdir -p "$tmp/slurm-out" "$tmp/slurm-logs"
submit() {
  sbatch --parsable --array=1-4 -o "$sl/task-%a.out" \
    --export=ALL,QC="$qc",LIST="$tmp/list.txt",OUTPUT="$tmp/slurm-out",LOGS="$tmp/slurm-logs" \
    "$here/slurm.sbatch" "${options[@]}"
}
job_gone() { [ -z "$(squeue -h -j "$1" 2>/dev/null)" ]; }
task_running() { [ "$(squeue -h -j "${1}_2" -o %T 2>/dev/null)" = RUNNING ]; }
job=$(submit)
until_true 120 task_running "$job"
until_true 120 all_before_exist "$tmp/slurm-out"
scancel "${job}_2"
until_true 60 job_gone "$job"
[ ! -f "$tmp/slurm-out/$last_big" ] || fail "slurm: the cancel came too late to stop the task mid-way"
job=$(submit)
until_true 240 job_gone "$job"
verify slurm "$tmp/slurm-out" "$tmp/slurm-logs"

# --- GNU parallel over ssh --------------------------------------------------
ss=$tmp/ssh
mkdir -p "$ss" /run/sshd
ssh-keygen -q -t ed25519 -N '' -f "$ss/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$ss/client_key"
cp "$ss/client_key.pub" "$ss/authorized_keys"
ssh_port=$(free_port)
cat >"$ss/sshd_config" <<CONF
ListenAddress 127.0.0.1
Port $ssh_port
HostKey $ss/host_key
PidFile $ss/sshd.pid
AuthorizedKeysFile $ss/authorized_keys
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
CONF
/usr/sbin/sshd -D -f "$ss/sshd_config" -E "$tmp/sshd.log" &
sshd_pid=$!
pids+=($sshd_pid)
cat >"$ss/config" <<CONF
Host qc-one qc-two
  HostName 127.0.0.1
  Port $ssh_port
  User root
  IdentityFile $ss/client_key
  IdentitiesOnly yes
  BatchMode yes
  StrictHostKeyChecking no
  UserKnownHostsFile $ss/known_hosts
  ConnectTimeout 10
CONF
printf '2/qc-one\n2/qc-two\n' >"$ss/logins"
export PARALLEL_SSH="ssh -F $ss/config"
ssh_up() { $PARALLEL_SSH qc-one true </dev/null 2>/dev/null; }
until_true 30 ssh_up
mkdir -p "$tmp/par-out" "$tmp/par-logs" "$tmp/home"
run_parallel() {
  HOME=$tmp/home QC=$qc timeout 300 "$here/parallel.sh" "$ss/logins" 4 "$tmp/list.txt" "$tmp/par-out" "$tmp/par-logs" \
    "${options[@]}" </dev/null >"$tmp/parallel.log" 2>&1
}
# The shard-2 process below our sshd.
remote_pid() {
  ps -eo pid=,ppid=,args= | awk -v root="$sshd_pid" '
    { parent[$1] = $2; line[$1] = $0 }
    END { for (p in line) { if (line[p] !~ /quillon-convert/ || line[p] !~ /--shard 2\/4/) continue
            for (q = parent[p]; q > 1; q = parent[q]) if (q == root) { print p; exit } } }'
}
run_parallel &
par=$!
until_true 120 all_before_exist "$tmp/par-out"
victim_pid=$(remote_pid)
[ -n "$victim_pid" ] || fail "parallel: no shard-2 process found"
kill -9 "$victim_pid"
if wait "$par"; then fail "parallel: a killed shard was reported as success"; fi
[ ! -f "$tmp/par-out/$last_big" ] || fail "parallel: the kill came too late to stop the shard mid-way"
run_parallel || { cat "$tmp/parallel.log" >&2; fail "parallel: the resumed run failed"; }
[ "$(awk 'NR > 1' "$tmp/par-logs/joblog" | wc -l)" -eq 5 ] || fail "parallel: --resume-failed did not rerun exactly the killed shard"
verify parallel "$tmp/par-out" "$tmp/par-logs"
echo "check: passed"
