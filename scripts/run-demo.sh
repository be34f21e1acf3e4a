#!/usr/bin/env bash
# Builds the library and qdb, then fills a fresh demo lab database demo.db and prints its tables.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQUANTORA_BUILD_TESTS=OFF -DQUANTORA_BUILD_BENCH=OFF > /dev/null
ninja -C build/release qdb
./build/release/tools/qdb/qdb demo demo.db
