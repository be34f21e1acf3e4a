#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (library instrumented for coverage, AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each for the given number of seconds on a copy of
# its seed corpus. Fails when a target crashes, hangs, leaks or draws a sanitizer report; the
# reproducing input is left in the run's directory, which is printed.
#   scripts/run-fuzzers.sh [seconds per target, default 60] [target...]
# QUANTORA_FUZZ_JOBS runs that many targets at once (default 1).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
build=${QUANTORA_FUZZ_BUILD:-build-fuzz}
case $build in /*) ;; *) build=$PWD/$build ;; esac
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_xml_reader fuzz_xml_value_decode fuzz_xml_importer fuzz_spectrum_decoder
           fuzz_num_storage fuzz_blob_chunks fuzz_chn_reader fuzz_spc_reader fuzz_cnf_reader
           fuzz_text_spectrum_readers)
fi

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S tests/fuzz -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUANTORA_FUZZ=ON -DQUANTORA_BUILD_TESTS=OFF -DQUANTORA_BUILD_BENCH=OFF \
  -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$build/bin" \
  -DCMAKE_CXX_FLAGS="$flags" > /dev/null
ninja -C "$build" "${targets[@]}" fuzz_make_seeds

work=$(mktemp -d /tmp/quantora-fuzz.XXXXXX)
parallel=${QUANTORA_FUZZ_JOBS:-1}
# Seeds cut from the real files in ../shared/data are made for each run, never kept here.
if [ -d ../shared/data ]; then
  "$build/bin/fuzz_make_seeds" ../shared/data "$work/seeds" > /dev/null
fi
echo "== fuzzing ${seconds}s per target, $parallel at a time, in $work"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1

# Runs one target on a copy of its seeds and regressions; the exit status tells whether it held.
fuzz_one() {
  local t=$1 name=${1#fuzz_}
  mkdir -p "$work/$name/corpus" "$work/$name/artifacts"
  for seeds in "tests/fuzz/corpus/$name" "$work/seeds/$name" "tests/fuzz/regressions/$name"; do
    if [ -d "$seeds" ]; then cp -rL "$seeds/." "$work/$name/corpus/"; fi
  done
  (cd "$work/$name" && "$build/bin/$t" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
      -artifact_prefix="$work/$name/artifacts/" corpus > log.txt 2>&1)
}

declare -A pids
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
  fuzz_one "$t" &
  pids[$t]=$!
done
status=0
for t in "${targets[@]}"; do
  name=${t#fuzz_}
  if wait "${pids[$t]}"; then
    echo "== $t: $(grep -E "stat::number_of_executed_units" "$work/$name/log.txt" | awk '{print $2}') executions," \
         "coverage $(grep -oE "cov: [0-9]+" "$work/$name/log.txt" | tail -1 | awk '{print $2}')"
  else
    echo "!! $t failed; see $work/$name/log.txt and $work/$name/artifacts/"
    tail -40 "$work/$name/log.txt"
    status=1
  fi
done
if [ $status -eq 0 ]; then rm -rf "$work"; fi
exit $status
