#!/usr/bin/env bash
# The long form of the concurrent-import stress test (CI runs a short one with the test suite):
# 2 and 4 qdb imports at once of overlapping folders of generated spectra, on SQLite and on a
# throwaway PostgreSQL server, then one import during which the server is stopped and started
# again a few seconds later. Every run must exit 0 and store each file once.
#   scripts/stress-import.sh [build dir] [files]     (defaults: build, 2000)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build} files=${2:-2000}
qdb=$build/tools/qdb/qdb tests=$build/tests/reliability/test_reliability
[ -x "$qdb" ] && [ -x "$tests" ] || { echo "build qdb and test_reliability in $build first" >&2; exit 2; }

echo "== $files files, 2 and 4 importers, SQLite"
QUANTORA_STRESS_FILES=$files "$tests" --gtest_filter='ImportStress.*'

pgdir=$(mktemp -d /tmp/quantora-stress.XXXXXX)
work=$(mktemp -d /tmp/quantora-stress-files.XXXXXX)
trap 'bash scripts/pg-test-server.sh stop "$pgdir"; rm -rf "$work"' EXIT
uri=$(bash scripts/pg-test-server.sh start "$pgdir")
echo "== $files files, 2 and 4 importers, PostgreSQL"
QUANTORA_TEST_PG=$uri QUANTORA_STRESS_FILES=$files "$tests" --gtest_filter='ImportStress.*'

echo "== PostgreSQL stopped during an import and started again"
python3 - "$work" "$files" <<'PY'
import random, sys
work, n = sys.argv[1], int(sys.argv[2])
for i in range(n):
    r = random.Random(i)
    with open(f"{work}/s{i:05d}.spe", "w") as f:
        f.write(f"$SPEC_ID:\nrestart {i}\n$MEAS_TIM:\n{100 + i} {110 + i}\n$DATA:\n0 511\n")
        f.write("".join(f"{r.randrange(1000)}\n" for _ in range(512)))
PY
"$qdb" init "$uri" > /dev/null
psql -q "$uri" -c "INSERT INTO PROJECT (PROJECT_ID, NAME) VALUES (1, 'restart')"
PGBIN=$(pg_config --bindir)
"$qdb" spectrum import "$uri" "$work" --new-measurements --project 1 > "$work.log" 2>&1 &
importer=$!
port=${uri##*:}; port=${port%%/*}
sleep 0.5
runuser -u postgres -- "$PGBIN/pg_ctl" -D "$pgdir/data" -m fast -w stop > /dev/null
sleep 4
# The options pg-test-server.sh started it with.
runuser -u postgres -- "$PGBIN/pg_ctl" -D "$pgdir/data" -l "$pgdir/server.log" -w -t 30 \
  -o "-k $pgdir -p $port -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=200" \
  start > /dev/null
rc=0; wait $importer || rc=$?
tail -n 1 "$work.log"
stored=$(psql -Atq "$uri" -c "SELECT COUNT(*) || ' ' || COUNT(DISTINCT CRC32) FROM SPECTRUM")
rm -f "$work.log"
echo "exit $rc, spectra and distinct checksums: $stored (of $files files)"
[ "$rc" = 0 ] && [ "$stored" = "$files $files" ]
