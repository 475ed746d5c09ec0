#!/usr/bin/env bash
# The Snakemake workflow on a simulated file in 3 shards gives the one-file run's files byte for byte,
# run here (local) or through a one-node Slurm cluster started on loopback for the test (slurm).
# Locally also: bad settings are refused before any job; a failed shard stops the merge and leaves
# the other shards' outputs; another shard size after a failed shard, another seed or an edited row
# reruns what it changes and no more; shards of another split or seed are refused at the merge.
# Usage: WorkflowTest.sh local|slurm TELVO SIMULATOR SOURCE_DIR
set -euo pipefail
mode=$1 telvo=$2 simulate=$3 source=$4
skip() { echo "skipped: $*"; exit 77; }
command -v snakemake >/dev/null || skip "snakemake is not installed (Debian package snakemake)"
scratch=$(mktemp -d)
daemons=()
trap 'for pid in "${daemons[@]}"; do kill "$pid" 2>/dev/null; done; wait; rm -rf "$scratch"' EXIT
cd "$scratch"

fail() { echo "FAILED: $*"; exit 1; }
flags="-g 200 -b 500 -t 3"
how=(--cores 2 --keep-going)

# munged, slurmctld and slurmd in the foreground as children of this script, every file and socket
# in the scratch folder, on ports nobody listens on.
start_cluster() {
  for program in munged slurmctld slurmd sbatch sinfo; do
    command -v $program >/dev/null || skip "$program is missing (Debian packages slurm-wlm and munge)"
  done
  [ "$(id -u)" = 0 ] || skip "slurmd must run as root"
  local c=$scratch/cluster host
  host=$(hostname -s)
  mkdir -m 700 -p "$c/state" "$c/spool"
  head -c 1024 /dev/urandom >"$c/munge.key" && chmod 400 "$c/munge.key"
  munged -F --force --socket="$c/munge.sock" --key-file="$c/munge.key" --pid-file="$c/munged.pid" \
    --log-file="$c/munged.log" --seed-file="$c/munged.seed" 2>>"$c/daemons.log" &
  daemons+=($!)
  local ports=($(python3 -c 'import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])'))
  printf '%s\n' ClusterName=telvotest "SlurmctldHost=$host(127.0.0.1)" SlurmUser=root \
    "SlurmctldPort=${ports[0]}" "SlurmdPort=${ports[1]}" AuthType=auth/munge "AuthInfo=socket=$c/munge.sock" \
    CredType=cred/munge "StateSaveLocation=$c/state" "SlurmdSpoolDir=$c/spool" \
    "SlurmctldPidFile=$c/slurmctld.pid" "SlurmdPidFile=$c/slurmd.pid" \
    "SlurmctldLogFile=$c/slurmctld.log" "SlurmdLogFile=$c/slurmd.log" \
    ProctrackType=proctrack/linuxproc TaskPlugin=task/none SelectType=select/cons_tres \
    SelectTypeParameters=CR_CPU JobAcctGatherType=jobacct_gather/none \
    AccountingStorageType=accounting_storage/none MpiDefault=none ReturnToService=2 \
    "NodeName=telvonode NodeHostname=$host NodeAddr=127.0.0.1 CPUs=2 RealMemory=1000" \
    "PartitionName=debug Nodes=telvonode Default=YES MaxTime=INFINITE State=UP" >"$c/slurm.conf"
  export SLURM_CONF=$c/slurm.conf USER=${USER:-$(id -un)}  # Snakemake looks up the user's account
  for _ in $(seq 30); do [ -S "$c/munge.sock" ] && break; sleep 1; done
  slurmctld -D -c >>"$c/daemons.log" 2>&1 &
  daemons+=($!)
  slurmd -D -N telvonode >>"$c/daemons.log" 2>&1 &
  daemons+=($!)
  for _ in $(seq 60); do
    [ "$(timeout 10 sinfo -h -o %T 2>/dev/null)" = idle ] && return
    sleep 1
  done
  skip "the one-node Slurm cluster did not start: $(tail -3 "$c/daemons.log")"
}
if [ "$mode" = slurm ]; then
  start_cluster
  how=(--profile "$source/workflow/profiles/slurm" --max-status-checks-per-second 1)  # a cluster of its own
fi

snake() {
  snakemake -s "$source/workflow/Snakefile" "${how[@]}" --config telvo="$telvo" "flags=$flags" "$@" >snake.log 2>&1
}

"$simulate" --genes 300 --nodes 4 --seed 31 --out sim.txt >/dev/null
"$telvo" -j 2 -r 4242 $flags --out one/x sim.txt >/dev/null || fail "one-file run"

# Every merged file equals the one-file run's in folder $1 (the report's dates and times aside).
same_as_one_file() {
  local name
  [ "$(cd "$1" && ls | grep -v '\.run\.tsv$')" = "$(cd "$2" && ls | grep -v -e '\.run\.tsv$' -e '\.shards$')" ] ||
    fail "$2: merged names differ"
  for name in $(cd "$1" && ls | grep -v '\.run\.tsv$'); do
    if [[ $name == *.html ]]; then
      untimed='s/[0-9]{4}-[0-9]{2}-[0-9]{2}|[0-9]{2}:[0-9]{2}:[0-9]{2}//g'
      cmp -s <(sed -E "$untimed" "$1/$name") <(sed -E "$untimed" "$2/$name") || fail "$2/$name differs"
    else
      cmp -s "$1/$name" "$2/$name" || fail "$2/$name differs"
    fi
  done
}

snake input=sim.txt prefix=merged/x seed=4242 shard_size=110 || { cat snake.log; fail "workflow run"; }
same_as_one_file one merged
grep -qx $'genes_read\t300' merged/x.run.tsv && grep -qx $'shards\t3' merged/x.run.tsv ||
  fail "merged run table: $(cat merged/x.run.tsv)"
if [ "$mode" = slurm ]; then
  [ "$(grep -c 'submitted with SLURM jobid' snake.log)" = 3 ] || fail "the shards did not go through Slurm"
  echo "workflow on Slurm: merged files equal the one-file run"
  exit 0
fi

# Refusals, before any job: a seed of 0, a shard size of 0, a missing input, an empty line among the
# gene rows (it would pass at the end of a shard, where the one-file run stops), flags telvo's own dry
# run refuses (its message shown), flags that are no command line, a prefix Snakemake reads as YAML.
sed '53a\\' sim.txt >gap.txt
for case in "seed=0|seed must not be 0" "shard_size=0|shard_size must be a whole number" \
            "input=absent.txt|absent.txt does not exist" "input=gap.txt|Line 54 of gap.txt is empty" \
            "flags=-e XX|Invalid error model" "flags=-e 'MV|no closing quotation" "prefix={x}|prefix must be one"; do
  setting=${case%%|*} message=${case#*|}
  prefix=prefix=refused/x
  [[ $setting == prefix=* ]] && prefix=$setting
  snake input=sim.txt "$prefix" seed=1 shard_size=100 "$setting" && fail "$setting was accepted"
  grep -q "$message" snake.log || { cat snake.log; fail "no message '$message' for $setting"; }
  [ ! -e refused ] || fail "$setting left outputs"
done

# A bad ratio in the middle shard: its job fails, nothing is merged, the other shards' outputs stay.
awk -F'\t' -v OFS='\t' 'NR == 153 { $3 = "abc" } 1' sim.txt >bad.txt
snake input=bad.txt prefix=bad/x seed=4242 shard_size=110 && fail "a shard with a bad ratio passed"
grep -q abc bad/x.shards/logs/0001.log || fail "the shard's log does not name the bad cell"
[ -s bad/x.shards/runs/0000/part.TER ] && [ -s bad/x.shards/runs/0002/part.TER ] || fail "good shards lost"
[ ! -e bad/x.shards/runs/0001 ] || fail "the failed shard's outputs were kept"
[ "$(ls bad)" = "x.shards" ] || fail "merged files after a failed shard: $(ls bad)"

# Shards of 60 rows, the third failing (a telvo that fails it while fail.marker exists), then shards of
# 150 and of 110 rows: with the rerun triggers off, the old shard files stay and the merge refuses
# them (the first two cover 120 rows only; the third is run as gene 221 on); with the triggers on,
# the whole input is split again and merges into the one-file run.
mkdir fake && ln -s "$(dirname "$telvo")/telvo-rank" fake/telvo-rank
printf '#!/bin/sh\n[ -e "%s" ] && case " $* " in *" -n 121 "*) exit 1 ;; esac\nexec "%s" "$@"\n' \
  "$scratch/fail.marker" "$telvo" >fake/telvo && chmod +x fake/telvo
touch fail.marker
snake telvo=fake/telvo input=sim.txt prefix=resize/x seed=4242 shard_size=60 && fail "the failing shard passed"
rm fail.marker
snake telvo=fake/telvo input=sim.txt prefix=resize/x seed=4242 shard_size=150 --rerun-triggers mtime &&
  fail "120 rows merged as the input's 300"
grep -q "The shards are not merged: .* genes_read 120" snake.log || { cat snake.log; fail "no refusal of 120 rows"; }
snake telvo=fake/telvo input=sim.txt prefix=resize/x seed=4242 shard_size=110 --rerun-triggers mtime &&
  fail "shards of two splits were merged"
grep -q "not one split of one file" snake.log || { cat snake.log; fail "no refusal of the old shards"; }
[ "$(ls resize)" = "x.shards" ] || fail "merged files from the old shards: $(ls resize)"
snake telvo=fake/telvo input=sim.txt prefix=resize/x seed=4242 shard_size=110 || { cat snake.log; fail "resplit"; }
same_as_one_file one resize

# Another thread count changes no result; another seed reruns every shard; an edited row only its shard.
snake input=sim.txt prefix=merged/x seed=4242 shard_size=110 threads=1 && grep -q "Nothing to be done" snake.log ||
  fail "a new thread count reran jobs"
cp -a merged/x.shards/runs/0001 seed4242
"$telvo" -j 2 -r 999 $flags --out one999/x sim.txt >/dev/null || fail "one-file run, seed 999"
snake input=sim.txt prefix=merged/x seed=999 shard_size=110 || { cat snake.log; fail "seed 999"; }
grep -qx $'seed\t999' merged/x.run.tsv || fail "run table after a new seed: $(cat merged/x.run.tsv)"
same_as_one_file one999 merged
awk -F'\t' -v OFS='\t' 'NR == 250 { $3 = "2.5" } 1' sim.txt >edited.txt && mv edited.txt sim.txt
"$telvo" -j 2 -r 999 $flags --out oneEdited/x sim.txt >/dev/null || fail "one-file run, edited row"
snake input=sim.txt prefix=merged/x seed=999 shard_size=110 || { cat snake.log; fail "edited row"; }
[ "$(grep -o 'shard=[0-9]*' snake.log | sort -u)" = "shard=0002" ] || fail "an edited row in shard 3 reran: $(
  grep -o 'shard=[0-9]*' snake.log | sort -u)"
same_as_one_file oneEdited merged

# A shard of the seed-4242 run put back among the seed-999 shards: telvo-rank refuses the mixture and
# nothing is merged from it.
rm -rf merged/x.shards/runs/0001 && cp -r seed4242 merged/x.shards/runs/0001  # new time stamps
snake input=sim.txt prefix=merged/x seed=999 shard_size=110 && fail "shards of two seeds were merged"
grep -q "not run with the same settings: seed" snake.log || { cat snake.log; fail "no refusal of the stale shard"; }
[ ! -e merged/x.run.tsv ] && cmp -s oneEdited/x.TER merged/x.TER || fail "the stale shard reached the merge"
echo "workflow: merged files equal the one-file run; refusals, failed and stale shards, reruns behave"
