#!/usr/bin/env bash
# Builds the fuzz targets (the fuzz preset: clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each one on its starting inputs in
# fuzz/corpus/<target>.
#
#   scripts/fuzz.sh                 brief run: every target for 2000 runs, at most 20 s
#   scripts/fuzz.sh --runs N        brief run with N runs per target (at most 20 s)
#   scripts/fuzz.sh --time SECONDS  campaign: every target for SECONDS each, the inputs
#                                   that add coverage kept in build/fuzz/corpus/<target>
#   scripts/fuzz.sh ... TARGET...   only the targets named (e.g. merge_fuzz)
#
# A crash, a hang (a run longer than 25 s), a leak or a sanitizer report stops the
# script with a failure; the input that caused it is left in build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=2000
seconds=0
targets=()
while (($#)); do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --time) seconds="$2"; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done
if ((${#targets[@]} == 0)); then
  for f in fuzz/*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi

jobs=$(nproc)
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs" --target fuzz_all

# Absolute paths: a target may change its current folder (the help viewer reads
# AJUDA\ under it).
top=$PWD
findings=$top/build/fuzz/findings
mkdir -p "$findings"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:allocator_may_return_null=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"

failed=0
for target in "${targets[@]}"; do
  binary=$top/build/fuzz/fuzz/fuzz_$target
  corpus=$top/fuzz/corpus/$target
  [[ -x $binary ]] || { echo "no fuzz target $target" >&2; exit 2; }
  [[ -d $corpus ]] || { echo "no starting inputs in $corpus" >&2; exit 2; }
  log=$findings/$target.log
  args=(-timeout=25 -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1
        "-artifact_prefix=$findings/$target-")
  if ((seconds > 0)); then
    # Campaign: new inputs go to a working corpus outside the source tree, which
    # starts from the committed one and grows from one campaign to the next.
    work=$top/build/fuzz/corpus/$target
    mkdir -p "$work"
    echo "== $target: ${seconds}s"
    set +e
    "$binary" "${args[@]}" -max_total_time="$seconds" "$work" "$corpus" >"$log" 2>&1
    rc=$?
    set -e
  else
    echo "== $target: $runs runs"
    set +e
    # New inputs go to a scratch folder, never into the committed corpus.
    scratch=$top/build/fuzz/brief/$target
    rm -rf "$scratch" && mkdir -p "$scratch"
    "$binary" "${args[@]}" -runs="$runs" -max_total_time=20 "$scratch" "$corpus" >"$log" 2>&1
    rc=$?
    set -e
  fi
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb|^Done [0-9]+ runs' "$log" | tr '\n' ' '
  echo
  if ((rc != 0)); then
    echo "!! $target failed (exit $rc); the end of its log ($log):" >&2
    tail -n 40 "$log" >&2
    failed=1
  fi
done
if ((failed)); then
  echo "== fuzzing found faults; inputs in $findings" >&2
  exit 1
fi
echo "== fuzzing: no crash, hang or sanitizer report"
