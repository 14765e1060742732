#!/usr/bin/env bash
# A throwaway PostgreSQL server on 127.0.0.1 for the tests of the record manager's
# PostgreSQL engine.
#   scripts/pg-test-server.sh start DIR   makes a cluster in DIR, starts it and prints
#                                         the connection string for ZUR_TEST_PG
#   scripts/pg-test-server.sh stop DIR    stops the server and removes DIR
# The server listens on 127.0.0.1 only (and a socket inside DIR), trusts the test role
# zur_test, which owns the database zur_test. initdb refuses to run as root, so the
# cluster belongs to the unprivileged user "postgres" when started by root.
set -euo pipefail

command=${1:-}
dir=${2:-}
if [ -z "$command" ] || [ -z "$dir" ]; then
  echo "usage: $0 start|stop DIR" >&2
  exit 2
fi

bindir=""
for candidate in /usr/lib/postgresql/*/bin; do
  if [ -x "$candidate/initdb" ]; then bindir=$candidate; fi
done
if [ -z "$bindir" ]; then
  echo "pg-test-server: no PostgreSQL server installed (initdb not found)" >&2
  exit 1
fi

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

case "$command" in
  start)
    mkdir -p "$dir"
    if [ "$(id -u)" -eq 0 ]; then chown postgres: "$dir"; fi
    chmod 700 "$dir"
    as_owner "$bindir/initdb" -D "$dir/data" -U postgres --auth=trust --encoding=UTF8 \
      --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
    # A free port on the loopback address.
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()')
    as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
      -o "-c listen_addresses=127.0.0.1 -p $port -k $dir -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=200" \
      start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
    as_owner "$bindir/psql" -X -q -h 127.0.0.1 -p "$port" -U postgres -d postgres \
      -c "CREATE ROLE zur_test LOGIN CREATEROLE CREATEDB" -c "CREATE DATABASE zur_test OWNER zur_test" \
      >/dev/null
    echo "postgresql://zur_test@127.0.0.1:$port/zur_test"
    ;;
  stop)
    if [ -f "$dir/data/postmaster.pid" ]; then
      as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w -t 60 stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
