#!/usr/bin/env bash
# Starts a one-node Slurm cluster on this machine (munged, slurmctld and
# slurmd with a key and a slurm.conf of their own in a temporary folder, no
# system service touched), converts 20 generated archives with
# scripts/slurm-convert.sh, and checks that every output verifies and that
# scripts/gather-results.py counts all 20. Exits 77 (skipped) only when the
# cluster cannot start at all: programs missing, or no permission to run
# the daemons.
#
#   slurm_cluster_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail

build="$1"
source="$2"
skip_status=77
wait_seconds=${ORLO_CLUSTER_WAIT_SECONDS:-240}

fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*" >&2; exit "$skip_status"; }

for program in munged slurmctld slurmd sbatch squeue sinfo scancel python3; do
  command -v "$program" >/dev/null ||
    skip "$program is not installed (scripts/setup.sh installs slurm-wlm, munge and python3)"
done
[ "$(id -u)" -eq 0 ] ||
  skip "the daemons run as the user that starts them, and slurmd needs root to start job steps; run as root"

work="$(mktemp -d)"
# munged wants every folder above its socket searchable by all; the key
# stays in a folder of its own only root can read.
chmod 755 "$work"
mkdir -m 700 "$work/key"
mkdir -m 755 "$work/run" "$work/log" "$work/state" "$work/spool"
pids=()
jobs_submitted=()
stop_cluster() {
  local pid
  # Tasks still running (a timeout) end with their job, not with slurmd.
  for pid in ${jobs_submitted[@]+"${jobs_submitted[@]}"}; do scancel "$pid" 2>/dev/null || true; done
  [ ${#jobs_submitted[@]} -eq 0 ] || sleep 1
  for pid in ${pids[@]+"${pids[@]}"}; do kill "$pid" 2>/dev/null || true; done
  for pid in ${pids[@]+"${pids[@]}"}; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  pids=()
}
show_logs() {
  local f
  for f in "$work"/log/*.log "$work"/log/*.out "$work"/results/*.log "$work"/results/slurm-*.out; do
    [ -s "$f" ] || continue
    echo "--- $f (last lines)" >&2
    tail -n 15 "$f" >&2
  done
}
on_exit() {
  local status=$?
  if [ "$status" -ne 0 ] && [ "$status" -ne "$skip_status" ]; then show_logs; fi
  stop_cluster
  rm -rf "$work"
  exit "$status"
}
trap on_exit EXIT
trap 'exit 1' INT TERM

# Two free ports on the loopback address, one for each daemon.
read -r ctld_port slurmd_port < <(python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*(x.getsockname()[1] for x in s))')

head -c 1024 /dev/urandom >"$work/key/munge.key"
chmod 400 "$work/key/munge.key"
socket="$work/run/munge.sock"
host="$(hostname -s)"
cat >"$work/slurm.conf" <<EOF
ClusterName=orlotest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/run/slurmctld.pid
SlurmdPidFile=$work/run/slurmd.pid
SlurmctldLogFile=$work/log/slurmctld.log
SlurmdLogFile=$work/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
SwitchType=switch/none
ReturnToService=2
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=orlotest Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF="$work/slurm.conf"

# The daemons in the foreground, as children of this script: their process
# IDs are known exactly and they end with it.
started=$(date +%s.%N)
munged --foreground --socket="$socket" --key-file="$work/key/munge.key" \
  --log-file="$work/log/munged.log" --pid-file="$work/run/munged.pid" \
  --seed-file="$work/key/munged.seed" >>"$work/log/munged.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.05; done
if [ ! -S "$socket" ]; then
  if grep -qi "permission\|not permitted" "$work/log/munged.log" 2>/dev/null; then
    skip "munged may not run here: $(tail -n 1 "$work/log/munged.log")"
  fi
  fail "munged did not open its socket"
fi
slurmctld -D -i -f "$SLURM_CONF" -L "$work/log/slurmctld.log" >>"$work/log/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" -L "$work/log/slurmd.log" >>"$work/log/slurmd.out" 2>&1 &
pids+=($!)
node_up=false
for _ in $(seq 300); do
  for pid in "${pids[@]}"; do
    kill -0 "$pid" 2>/dev/null ||
      { show_logs; grep -qi "permission denied\|not permitted" "$work"/log/* &&
          skip "a Slurm daemon may not run here (see its log above)";
        fail "a Slurm daemon (process $pid) ended at start"; }
  done
  if [ "$(sinfo -h -N -o %t 2>/dev/null)" = "idle" ]; then node_up=true; break; fi
  sleep 0.1
done
$node_up || fail "the node did not come up within 30 s: $(sinfo -N 2>&1 | tail -n 1)"
up=$(date +%s.%N)
python3 -c "print('cluster: up in %.1f s' % ($up - $started))"

# 20 archives, a space in most of their names, with gaps; every third one
# ends inside its last block (a warning).
archives="$work/archives with spaces"
mkdir "$archives"
list="$work/list.txt"
: >"$list"
for k in $(seq -w 1 20); do
  name="$archives/flight $k.Ark"
  [ $((10#$k % 4)) -eq 0 ] && name="$archives/F$k.Ark"
  shape=(--gap "$((10#$k * 7)):$((10#$k))")
  [ $((10#$k % 3)) -eq 0 ] && shape=(--last-block cut)
  "$build/orlovarnel-mkarchive" --out "$name" --frames 3000 --seed "$((10#$k))" \
    --start "$((100 + 10#$k)):10:00:00" "${shape[@]}" >/dev/null ||
    fail "could not generate $name"
  echo "$name" >>"$list"
done
out="$work/out folder"
results="$work/results"

# Submits the list's array and waits for it to leave the queue.
submit_and_wait() {
  local job deadline
  job=$("$source/scripts/slurm-convert.sh" --convert "$build/orlovarnel-convert" \
          --chunk 6 --output-dir "$out" --results "$results" "$list") ||
    fail "slurm-convert.sh could not submit the job"
  [[ "$job" =~ ^[0-9]+$ ]] || fail "slurm-convert.sh printed '$job', not a job ID"
  jobs_submitted+=("$job")
  deadline=$(( $(date +%s) + wait_seconds ))
  while squeue -h -j "$job" -t PD,R,CG,CF,S 2>/dev/null | grep -q .; do
    if [ "$(date +%s)" -ge "$deadline" ]; then
      squeue -j "$job" -t all >&2 || true
      fail "job $job did not finish within $wait_seconds s (ORLO_CLUSTER_WAIT_SECONDS sets the wait)"
    fi
    sleep 0.2
  done
}

submitted=$(date +%s.%N)
submit_and_wait
finished=$(date +%s.%N)
python3 -c "print('cluster: 20 archives converted in %.1f s' % ($finished - $submitted))"

tasks_seen=$(ls "$results"/task-*.jsonl 2>/dev/null | wc -l)
[ "$tasks_seen" -eq 4 ] || fail "expected 4 task result files (20 archives, 6 a task), found $tasks_seen"
for task in 0 1 2 3; do
  grep -q "END ARK TO CH10 CONVERSION" "$results/task-$task/OrloVarnel.Log" ||
    fail "task $task has no converter log of its own"
done

# Every output verifies against its archive.
mapfile -t all < "$list"
: >"$work/verify.txt"
for archive in "${all[@]}"; do
  "$build/orlovarnel-verify" --output-dir "$out" "$archive" >>"$work/verify.txt" ||
    { cat "$work/verify.txt" >&2; fail "orlovarnel-verify: $archive does not verify"; }
done
[ "$(grep -c ': verified' "$work/verify.txt")" -eq 20 ] ||
  { cat "$work/verify.txt" >&2; fail "not all 20 outputs verified"; }

# The gathered summary: 20 results, no archive missing, the warnings'
# exit status.
set +e
summary=$(python3 "$source/scripts/gather-results.py" --json "$results")
status=$?
set -e
python3 - "$summary" "$status" <<'EOF' || fail "gathered summary: $summary (exit $status)"
import json, sys
s = json.loads(sys.argv[1])
assert s["archives"] == 20 and s["results"] == 20, s
assert s["outcomes"] == {"converted": 14, "converted-with-warnings": 6}, s["outcomes"]
assert not s["missing"] and not s["unreadable"] and not s["unfinished"], s
assert s["exit_status"] == 3 and int(sys.argv[2]) == 3, (s["exit_status"], sys.argv[2])
EOF

# Submitted again, every archive is complete and skipped.
submit_and_wait
summary=$(python3 "$source/scripts/gather-results.py" --json "$results") ||
  fail "second gathered summary: $summary"
python3 -c 'import json, sys; s = json.loads(sys.argv[1]); assert s["outcomes"] == {"skipped": 20}, s' \
  "$summary" || fail "the second run did not skip all 20: $summary"
echo "cluster: 20 archives converted, verified, gathered; a second run skipped all 20"
