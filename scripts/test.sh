#!/usr/bin/env bash
# Builds everything and runs every test: the normal build, then the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, then a brief run of every fuzz
# target on its starting inputs (scripts/fuzz.sh; a longer campaign: scripts/fuzz.sh
# --time SECONDS).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
for preset in default asan; do
  echo "== $preset: configure and build (at ${SECONDS}s)"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: tests (at ${SECONDS}s)"
  ctest --preset "$preset" -j "$jobs"
done
echo "== fuzz: build the fuzz targets and run each briefly (at ${SECONDS}s)"
scripts/fuzz.sh
echo "== all tests passed (in ${SECONDS}s)"
