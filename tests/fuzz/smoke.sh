#!/usr/bin/env bash
# A short fuzz run of every reader of files: builds the fuzz targets (tests/fuzz/CMakeLists.txt) with
# clang, then runs each for a few seconds from its seed corpus. Exits 1 on a finding (the input that
# made it is kept in the build folder's findings/), 77 when clang or libFuzzer is not there.
#   tests/fuzz/smoke.sh [BUILD_DIR] [SECONDS]     (build-fuzz, 5)
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build-fuzz}"
seconds="${2:-5}"
targets=(ratio_file rank_tables report_inputs)

skip() {
  echo "fuzz smoke skipped: $1"
  exit 77
}

command -v clang++ >/dev/null || skip "clang++ is not installed (Debian: clang)"
# New inputs the run finds go to a scratch corpus, so that the seed corpus is only read.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cmake -S "$root/tests/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ >"$work/configure.log" 2>&1 ||
  { cat "$work/configure.log"; echo "fuzz smoke: the fuzz build does not configure"; exit 1; }
[ -f "$build/Makefile" ] || [ -f "$build/build.ninja" ] || { echo "fuzz smoke: no build files in $build"; exit 1; }
grep -q '^TELVO_HAVE_LIBFUZZER:INTERNAL=1' "$build/CMakeCache.txt" ||
  skip "clang links no libFuzzer here (Debian: libclang-rt-dev)"
cmake --build "$build" -j2 || { echo "fuzz smoke: the fuzz targets do not build"; exit 1; }

passed=0 failed=0
for target in "${targets[@]}"; do
  mkdir -p "$work/$target"
  # A leak is a finding too. An input that takes over 60 s is a hang: the sanitizers slow the calls
  # about thirtyfold, so that is some seconds of telvo-rank on its own.
  if "$build/fuzz_$target" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$work/$target-" "$work/$target" "$root/tests/fuzz/corpus/$target" \
       >"$work/$target.log" 2>&1; then
    passed=$((passed + 1))
    echo "fuzz_$target: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$work/$target.log" | grep -o '[0-9]*$') inputs, no finding"
  else
    failed=$((failed + 1))
    mkdir -p "$build/findings"
    cp "$work/$target"-* "$build/findings/" 2>/dev/null
    echo "fuzz_$target: FINDING"
    grep -E -A30 'FINDING:|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:' "$work/$target.log" | head -60
    echo "the input: $(ls "$build/findings/$target"-* 2>/dev/null | tr '\n' ' ')"
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
