#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the farm recipe on a real Slurm: starts munged, slurmctld and slurmd for one node on
# this machine (configuration, keys, state and logs in a temporary folder; stopped by PID at the
# end), submits examples/farm/render-array.sbatch over the demo project with more ranges than
# processors, waits, and checks that the frames equal one full local run byte for byte; then
# renders the demo as an MKV (FFV1, lossless) in parts on an array job (render-video.sbatch),
# joins them in a job that depends on it (join-video.sbatch), and checks the joined video's
# frame count, duration and every decoded frame against one full local render.
#   scripts/slurm-test.sh [PELORIX_CLI]     (default: build/src/cli/pelorix-cli, built if missing)
# Exit status: 0 passed, 1 failed, 77 the daemons could not be started here (said plainly).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

PELORIX_EXTRA_PACKAGES="slurmctld slurmd slurm-client munge ${PELORIX_EXTRA_PACKAGES:-}" \
  scripts/setup-deps.sh || exit 1
cli=${1:-build/src/cli/pelorix-cli}
if [ ! -x "$cli" ]; then scripts/build.sh plain || exit 1; fi
cli=$(realpath "$cli")

tmp=$(mktemp -d /tmp/pelorix-slurm.XXXXXX)
chmod 755 "$tmp"
pids=()
stop() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
  done
  rm -rf "$tmp"
}
trap stop EXIT
cannot() {
  echo "slurm-test: SKIPPED, the Slurm daemons cannot run here: $*"
  for log in "$tmp"/*.log; do [ -f "$log" ] && tail -5 "$log" | sed "s|^|  $(basename "$log"): |"; done
  exit 77
}
fail() {
  echo "slurm-test: FAILED: $*"
  exit 1
}
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 20000))
    ss -ltn 2>/dev/null | grep -q ":$port " || { echo "$port"; return; }
  done
}

# munge: a fresh key and socket of our own.
mkdir -m 700 "$tmp/munge"
head -c 1024 /dev/urandom >"$tmp/munge/munge.key"
chmod 400 "$tmp/munge/munge.key"
socket=$tmp/munge/munge.socket
munged --foreground --force --socket="$socket" --key-file="$tmp/munge/munge.key" \
  --pid-file="$tmp/munge/munged.pid" --log-file="$tmp/munged.log" \
  --seed-file="$tmp/munge/munged.seed" 2>>"$tmp/munged.log" &
pids+=($!)
for _ in $(seq 50); do [ -S "$socket" ] && break; sleep 0.1; done
[ -S "$socket" ] || cannot "munged did not start"

user=$(id -un)
node=pelorix1
cpus=$(nproc)
mkdir -p "$tmp/state" "$tmp/spool" "$tmp/logs"
cat >"$tmp/slurm.conf" <<EOF
ClusterName=pelorixtest
SlurmctldHost=$(hostname -s)(127.0.0.1)
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
SlurmUser=$user
SlurmdUser=$user
AuthType=auth/munge
AuthInfo=socket=$socket
CredType=cred/munge
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
MinJobAge=600
PlugStackConfig=$tmp/plugstack.conf
NodeName=$node NodeHostname=$(hostname -s) NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF
: >"$tmp/plugstack.conf"
export SLURM_CONF=$tmp/slurm.conf

slurmctld -D -i -f "$SLURM_CONF" >>"$tmp/slurmctld.log" 2>&1 &
pids+=($!)
slurmd -D -N "$node" -f "$SLURM_CONF" >>"$tmp/slurmd.log" 2>&1 &
pids+=($!)
ready=false
for _ in $(seq 100); do
  if sinfo -h -n "$node" -o %t 2>/dev/null | grep -qx idle; then ready=true; break; fi
  sleep 0.2
done
$ready || cannot "the node did not come up ($(sinfo -h -o '%n %t' 2>&1 | head -1))"
echo "slurm-test: one-node cluster up ($(sinfo -h -o '%P %D node(s) %c CPUs %t'))"

# The reference: one full local run.
demo=$root/examples/demo/demo.pxp
"$cli" render "$demo" -o "$tmp/full" --quiet || fail "the local run failed"
frames=$("$cli" info --json "$demo" | grep -o '"frames":[0-9]*' | cut -d: -f2)
per_task=4
tasks=$(((frames + per_task - 1) / per_task))
echo "slurm-test: $frames frames in $tasks array tasks of $per_task on $cpus processors"

# finish JOB TASKS: waits for the job and checks that its TASKS tasks completed.
finish() {
  for _ in $(seq 600); do
    [ -z "$(squeue -h -j "$1" 2>/dev/null)" ] && break
    sleep 0.5
  done
  [ -z "$(squeue -h -j "$1" 2>/dev/null)" ] || fail "job $1 did not finish in 5 minutes"
  local states completed
  states=$(scontrol show job "$1" | grep -o 'JobState=[A-Z_]*' | sort | uniq -c)
  completed=$(scontrol show job "$1" | grep -c 'JobState=COMPLETED')
  if [ "$completed" -ne "$2" ]; then
    echo "$states"
    for log in "$tmp"/logs/*.log; do sed "s|^|  $(basename "$log"): |" "$log"; done
    fail "job $1: $completed of $2 tasks completed"
  fi
}

job=$(cd "$tmp" && sbatch --parsable --array=0-$((tasks - 1)) --cpus-per-task=1 \
  --output="$tmp/logs/task-%A_%a.log" \
  --export="ALL,PROJECT=$demo,OUT=$tmp/farm,PER_TASK=$per_task,PELORIX_CLI=$cli" \
  "$root/examples/farm/render-array.sbatch") || fail "sbatch refused the job"
finish "$job" "$tasks"
if ! diff -r "$tmp/full" "$tmp/farm" >"$tmp/diff" 2>&1; then
  cat "$tmp/diff"
  fail "the farm's frames differ from the full run"
fi
echo "slurm-test: passed: $tasks tasks completed; $(find "$tmp/farm" -type f | wc -l) frames equal the full run byte for byte"

# One video: parts on the array, joined by a job that waits for all of them.
probe=$(dirname "$cli")/../../tests/media_probe
if [ ! -x "$probe" ]; then
  cmake --build "$(dirname "$cli")/../.." --target media_probe >/dev/null || fail "no media_probe"
fi
"$cli" render "$demo" -o "$tmp/full.mkv" --quiet || fail "the local video render failed"
# A video holds round(length x fps) frames, which the array is cut by.
frames=$("$cli" info --json "$demo" | grep -o '"videoFrames":[0-9]*' | cut -d: -f2)
tasks=$(((frames + per_task - 1) / per_task))
parts=$(cd "$tmp" && sbatch --parsable --array=0-$((tasks - 1)) --cpus-per-task=1 \
  --output="$tmp/logs/part-%A_%a.log" \
  --export="ALL,PROJECT=$demo,PARTS=$tmp/parts,EXT=mkv,PER_TASK=$per_task,PELORIX_CLI=$cli" \
  "$root/examples/farm/render-video.sbatch") || fail "sbatch refused the video job"
joined=$(cd "$tmp" && sbatch --parsable --dependency=afterok:"$parts" \
  --output="$tmp/logs/join-%j.log" \
  --export="ALL,PARTS=$tmp/parts,EXT=mkv,OUT=$tmp/joined.mkv,PELORIX_CLI=$cli" \
  "$root/examples/farm/join-video.sbatch") || fail "sbatch refused the join job"
finish "$parts" "$tasks"
finish "$joined" 1
"$probe" "$tmp/full.mkv" >"$tmp/full.probe"
"$probe" "$tmp/joined.mkv" >"$tmp/joined.probe"
grep -q "frames=$frames " "$tmp/joined.probe" || fail "the joined video: $(cat "$tmp/joined.probe")"
if ! diff "$tmp/full.probe" "$tmp/joined.probe"; then
  fail "the joined video's frame count or duration differs from the full render's"
fi
"$probe" --frames "$tmp/full.mkv" >"$tmp/full.frames"
"$probe" --frames "$tmp/joined.mkv" >"$tmp/joined.frames"
if ! diff -q "$tmp/full.frames" "$tmp/joined.frames" >/dev/null; then
  diff "$tmp/full.frames" "$tmp/joined.frames" | head
  fail "the joined video's frames differ from the full render's"
fi
echo "slurm-test: passed: $tasks parts joined after them; $frames frames decode like the full render"
