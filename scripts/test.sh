#!/usr/bin/env bash
# Builds everything and runs every test: the normal build, then the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, then a brief run of every fuzz
# target on its starting inputs (scripts/fuzz.sh; a longer campaign: scripts/fuzz.sh
# --time SECONDS). A throwaway PostgreSQL server on 127.0.0.1 serves the PostgreSQL
# instances of the record manager's suites (and the end-to-end letters in the normal
# build); it is stopped and removed at the end, whether the tests pass or not.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

# In /tmp: the server's own user must reach the folder when the tests run as root.
pgdir=$(mktemp -d /tmp/zur-pg.XXXXXX)
trap 'scripts/pg-test-server.sh stop "$pgdir"' EXIT
echo "== PostgreSQL test server"
ZUR_TEST_PG=$(scripts/pg-test-server.sh start "$pgdir")
export ZUR_TEST_PG
echo "   $ZUR_TEST_PG"

jobs=$(nproc)
for preset in default asan; do
  echo "== $preset: configure and build (at ${SECONDS}s)"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: tests (at ${SECONDS}s)"
  exclude=()
  # Under the sanitizers the end-to-end letters run on SQLite files only: on
  # PostgreSQL they check the same spools as the normal build already did.
  if [ "$preset" = asan ]; then exclude=(-E 'LettersEndToEnd.*/Postgres'); fi
  ctest --preset "$preset" -j "$jobs" "${exclude[@]}"
done
echo "== fuzz: build the fuzz targets and run each briefly (at ${SECONDS}s)"
scripts/fuzz.sh
echo "== all tests passed (in ${SECONDS}s)"
