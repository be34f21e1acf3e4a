#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (library instrumented for coverage, AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each for the given number of seconds on a copy of
# its seed corpus. Fails on the first crash, hang, leak or sanitizer report; the reproducing
# input is left in the run's directory, which is printed.
#   scripts/run-fuzzers.sh [seconds per target, default 60] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
build=${QUANTORA_FUZZ_BUILD:-build-fuzz}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_xml_reader fuzz_xml_value_decode fuzz_xml_importer fuzz_spectrum_decoder
           fuzz_num_storage fuzz_blob_chunks)
fi

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S tests/fuzz -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUANTORA_FUZZ=ON -DQUANTORA_BUILD_TESTS=OFF -DQUANTORA_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$flags" > /dev/null
ninja -C "$build" "${targets[@]}"

work=$(mktemp -d /tmp/quantora-fuzz.XXXXXX)
echo "== fuzzing ${seconds}s per target in $work"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1
status=0
for t in "${targets[@]}"; do
  name=${t#fuzz_}
  mkdir -p "$work/$name/corpus" "$work/$name/artifacts"
  for seeds in "tests/fuzz/corpus/$name" "tests/fuzz/regressions/$name"; do
    if [ -d "$seeds" ]; then cp -r "$seeds/." "$work/$name/corpus/"; fi
  done
  echo "== $t"
  if ! (cd "$work/$name" && "$OLDPWD/$build/$t" -max_total_time="$seconds" -timeout=10 \
          -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
          -artifact_prefix="$work/$name/artifacts/" corpus > log.txt 2>&1); then
    echo "!! $t failed; see $work/$name/log.txt and $work/$name/artifacts/"
    tail -40 "$work/$name/log.txt"
    status=1
    continue
  fi
  grep -E "^#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb" "$work/$name/log.txt" || true
done
if [ $status -eq 0 ]; then rm -rf "$work"; fi
exit $status
