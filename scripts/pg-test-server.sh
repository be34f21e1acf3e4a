#!/usr/bin/env bash
# A throwaway PostgreSQL server on loopback for the test suite.
#   scripts/pg-test-server.sh start <dir>   prints the libpq URI of database quantora_test
#   scripts/pg-test-server.sh stop <dir>
set -euo pipefail
cmd=$1 base=$2
PGBIN=$(pg_config --bindir 2>/dev/null || echo /usr/lib/postgresql/15/bin)
[ -x "$PGBIN/initdb" ] || PGBIN=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
case "$cmd" in
start)
  mkdir -p "$base"; chown postgres:postgres "$base"; chmod 755 "$base"
  port=$(python3 -c 'import socket;s=socket.socket();s.bind(("127.0.0.1",0));print(s.getsockname()[1])')
  runuser -u postgres -- "$PGBIN/initdb" -D "$base/data" -U postgres -A trust -E UTF8 \
    --locale=C.UTF-8 --no-sync --no-instructions > "$base/initdb.log"
  runuser -u postgres -- "$PGBIN/pg_ctl" -D "$base/data" -l "$base/server.log" -w -t 30 \
    -o "-k $base -p $port -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=200" \
    start > /dev/null
  runuser -u postgres -- "$PGBIN/createdb" -h "$base" -p "$port" -U postgres quantora_test
  echo "postgresql://postgres@127.0.0.1:$port/quantora_test"
  ;;
stop)
  if [ -d "$base/data" ]; then
    runuser -u postgres -- "$PGBIN/pg_ctl" -D "$base/data" -m fast -w stop > /dev/null || true
  fi
  rm -rf "$base"
  ;;
*) echo "usage: $0 start|stop <dir>" >&2; exit 2 ;;
esac
