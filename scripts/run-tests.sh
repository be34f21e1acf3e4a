#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test: the suite on SQLite, the suite
# again against a throwaway PostgreSQL server (ODBC tests included, on both drivers), the dialog
# tests headless, the suite once more under AddressSanitizer and UndefinedBehaviorSanitizer, and
# a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=/tmp/runtime-root
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
jobs=$(nproc)

# The Release configuration an application developer builds, here with warnings as errors, so
# a warning that only optimisation brings out cannot come back unseen.
echo "== Release build (warnings are errors)"
cmake -S . -B build/ci -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUANTORA_WERROR=ON > /dev/null
ninja -C build/ci

echo "== tests on SQLite"
ctest --test-dir build/ci --output-on-failure -j "$jobs"

if [ -d quantora/dblayer/postgres ]; then
  echo "== tests on PostgreSQL"
  pgdir=$(mktemp -d /tmp/quantora-pg.XXXXXX)
  trap 'bash scripts/pg-test-server.sh stop "$pgdir"' EXIT
  QUANTORA_TEST_PG=$(bash scripts/pg-test-server.sh start "$pgdir")
  export QUANTORA_TEST_PG
  ctest --test-dir build/ci --output-on-failure -j "$jobs"
  unset QUANTORA_TEST_PG
else
  echo "== PostgreSQL run skipped: the libpq backend (quantora/dblayer/postgres) is not built yet"
fi

if [ "${QUANTORA_SKIP_SANITIZERS:-0}" != 1 ]; then
  echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer (SQLite)"
  cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUANTORA_SANITIZE=ON -DQUANTORA_WERROR=ON \
    -DQUANTORA_BUILD_BENCH=OFF > /dev/null
  ninja -C build/asan
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/asan --output-on-failure -j "$jobs"
fi

if [ "${QUANTORA_SKIP_FUZZ:-0}" != 1 ]; then
  echo "== fuzz targets, ${QUANTORA_FUZZ_SECONDS:-60}s each"
  QUANTORA_FUZZ_BUILD=build/fuzz QUANTORA_FUZZ_JOBS="$jobs" \
    bash scripts/run-fuzzers.sh "${QUANTORA_FUZZ_SECONDS:-60}"
fi
