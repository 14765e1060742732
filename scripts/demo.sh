#!/usr/bin/env bash
# Builds everything, lays the demo installation out in a work folder, loads its data
# and opens the module there. The work folder (demo-work/ by default, or the first
# argument) is made afresh each time, so the demo always starts from the same data.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

work=$(realpath -m "${1:-$top/demo-work}")
bin="$top/build/default"
# Only a folder this script made (it carries the marker) or an empty one is emptied:
# anything else is somebody's work.
marker=".plecavun-demo"
if [ -e "$work" ] && [ ! -e "$work/$marker" ] && [ -n "$(ls -A "$work" 2>/dev/null)" ]; then
  echo "demo.sh: $work is not empty and was not made by this script; give another folder" >&2
  exit 1
fi
rm -rf "$work"
python3 demo/layout.py "$work" --date "$(date +%Y%m%d)"
touch "$work/$marker"

"$bin/tools/zurdata/zurdata" --root "$work/" init
for kind in texts properties owners receipts; do
  "$bin/tools/zurdata/zurdata" --root "$work/" import "$kind" "demo/data/$kind.csv"
done

export ZURROOT="$work/"
export ZUREXE="$bin/tools/zurprint/"
export ZURTMP="$work/TMP/"
cd "$work"
echo "Demo installation in $work; the letters and labels go to $work/TMP/zurprint.pdf"
exec "$bin/app/plecavun"
