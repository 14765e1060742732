#!/usr/bin/env bash
# Builds everything, lays the demo installation out in a work folder and opens the
# module there. The work folder (demo-work/ by default, or the first argument) is
# made afresh each time, so the demo always starts from the same data.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

work=${1:-$top/demo-work}
rm -rf "$work"
mkdir -p "$work"
if [ -d demo/root ]; then
  cp -r demo/root/. "$work/"
fi

export ZURROOT="$work/"
export ZUREXE="$top/build/default/tools/zurprint/"
export ZURTMP="$work/TMP/"
mkdir -p "$ZURTMP"
cd "$work"
exec "$top/build/default/app/plecavun"
