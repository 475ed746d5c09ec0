#!/usr/bin/env bash
# The Snakemake workflow on a simulated file in 3 shards gives the one-file run's files byte for byte;
# it refuses a seed of 0, a shard size of 0 and a missing input; a failed shard stops the merge and
# leaves the other shards' outputs. Usage: WorkflowTest.sh TELVO SIMULATOR SOURCE_DIR
set -euo pipefail
telvo=$1 simulate=$2 source=$3
if ! command -v snakemake >/dev/null; then
  echo "skipped: snakemake is not installed (Debian package snakemake)"
  exit 77
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

fail() { echo "FAILED: $*"; exit 1; }
flags="-g 200 -b 500 -t 3"
snake() {
  snakemake -s "$source/workflow/Snakefile" --cores 2 --keep-going --config telvo="$telvo" "flags=$flags" "$@" \
    >snake.log 2>&1
}

"$simulate" --genes 300 --nodes 4 --seed 31 --out sim.txt >/dev/null
"$telvo" -j 2 -r 4242 $flags --out one/x sim.txt >/dev/null || fail "one-file run"

snake input=sim.txt prefix=merged/x seed=4242 shard_size=110 || { cat snake.log; fail "workflow run"; }
[ "$(ls merged/x.shards/runs)" = "$(printf '0000\n0001\n0002')" ] || fail "expected 3 shards"
expected=$(cd one && ls | grep -v '\.run\.tsv$')
[ "$(cd merged && ls | grep -v -e '\.run\.tsv$' -e '\.shards$')" = "$expected" ] || fail "merged names differ"
for name in $expected; do
  if [[ $name == *.html ]]; then  # the report's times differ from run to run
    cmp <(sed -E 's/[0-9]{2}:[0-9]{2}:[0-9]{2}//g' "one/$name") \
        <(sed -E 's/[0-9]{2}:[0-9]{2}:[0-9]{2}//g' "merged/$name") || fail "$name differs"
  else
    cmp "one/$name" "merged/$name" || fail "$name differs"
  fi
done
grep -qx $'genes_read\t300' merged/x.run.tsv && grep -qx $'shards\t3' merged/x.run.tsv ||
  fail "merged run table: $(cat merged/x.run.tsv)"

# Refusals, before any job: a seed of 0, a shard size of 0 and a missing input.
for case in "seed=0|seed must not be 0" "shard_size=0|shard_size must be a whole number" \
            "input=absent.txt|absent.txt does not exist"; do
  setting=${case%%|*} message=${case#*|}
  snake input=sim.txt prefix=refused/x seed=1 shard_size=100 "$setting" && fail "$setting was accepted"
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
echo "workflow: merged files equal the one-file run; refusals and a failed shard behave"
