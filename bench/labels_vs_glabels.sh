#!/usr/bin/env bash
# Address labels end to end to PDF, ours against glabels-3-batch, timed back to back in
# the same run on the same addresses (the label peer's gen_addresses.py):
#
#   ours     the module's label run (bench_label_batch: LetterRun in label mode over
#            record files made with `zurdata import`) and then the zurprint program
#   sliced   glabels-3-batch in slices of CHUNK records joined with pdfunite
#            (the peer's glabels_chunked.sh)
#   single   glabels-3-batch on the whole CSV in one process
#
# Every PDF is checked with the peer's check_pdf.py (pages, A4, every field of every
# record in CSV order, refs in their 105 x 37 mm cells two across); ours also gets a
# check that no word of the first and last page runs over the edge of its label or
# lies within 3 mm of its left edge.
#
#   bench/labels_vs_glabels.sh [WORKDIR]     WORKDIR defaults to a new mktemp -d folder
#
# Knobs (environment):
#   N=10000          labels
#   RUNS=3           timed rounds; each round runs ours, then sliced, then single
#   RUNS_SINGLE=1    rounds that include the single-process peer (about 3.5 min and
#                    4.4 GiB each at 10,000 labels); 0 skips it
#   CHUNK=1024       slice size of the sliced peer (a multiple of 16)
#   WIDTH=50         label width in columns: 50 puts each label's text 4 mm inside its
#                    105 mm label (the default of the selection screen, 45, would start
#                    the right-hand label's text 6 mm inside the left-hand label)
#   LETTERS=1        also run bench_zurprint_render on the 1,000-page letter spool
#   BUILD=build/default   where the built programs are
#   PEER=...         the label peer's folder (default: ../shared/peers/glabels or
#                    ../../shared/peers/glabels from the source tree)
# glabels-3-batch is installed with apt-get when it is missing.
# Results: WORKDIR/results.tsv, WORKDIR/summary.txt, WORKDIR/env.txt.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
N=${N:-10000}
RUNS=${RUNS:-3}
RUNS_SINGLE=${RUNS_SINGLE:-1}
CHUNK=${CHUNK:-1024}
WIDTH=${WIDTH:-50}
LETTERS=${LETTERS:-1}
BUILD=${BUILD:-$top/build/default}
case $BUILD in /*) ;; *) BUILD=$top/$BUILD ;; esac
if [ -z "${PEER:-}" ]; then
  for candidate in "$top/../shared/peers/glabels" "$top/../../shared/peers/glabels"; do
    if [ -f "$candidate/check_pdf.py" ]; then PEER=$(cd "$candidate" && pwd); break; fi
  done
fi
[ -n "${PEER:-}" ] && [ -f "$PEER/check_pdf.py" ] || { echo "label peer not found: set PEER" >&2; exit 1; }
WORK=${1:-$(mktemp -d -t labels-vs-glabels.XXXXXX)}
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)

label_batch=$BUILD/bench/bench_label_batch
zurprint=$BUILD/tools/zurprint/zurprint
zurdata=$BUILD/tools/zurdata/zurdata
for program in "$label_batch" "$zurprint" "$zurdata"; do
  [ -x "$program" ] || {
    echo "missing $program: cmake --build --preset default --target bench_label_batch zurprint zurdata" >&2
    exit 1
  }
done
if ! command -v glabels-3-batch >/dev/null; then
  echo "installing glabels (glabels-3-batch)"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends glabels
fi
for tool in glabels-3-batch pdfinfo pdftotext pdfunite python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

cd "$WORK"
echo "work folder: $WORK"
{
  echo "date:     $(date -u +%Y-%m-%dT%H:%M:%SZ)"
  echo "kernel:   $(uname -srm)"
  echo "cpu:      $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //') x $(nproc)"
  echo "memory:   $(awk '/MemTotal/{printf "%.1f GiB", $2/1048576}' /proc/meminfo)"
  echo "load:     $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min, at the start)"
  echo "glabels:  $(dpkg-query -W -f '${Version}' glabels 2>/dev/null || echo unknown)"
  echo "cairo:    $(dpkg-query -W -f '${Version}' libcairo2 2>/dev/null || echo unknown)"
  echo "poppler:  $(pdfinfo -v 2>&1 | head -n 1)"
  echo "ours:     $(git -C "$top" rev-parse --short HEAD 2>/dev/null || echo unknown), $BUILD"
  echo "labels:   $N, width $WIDTH, rounds $RUNS, single-process rounds $RUNS_SINGLE, slices of $CHUNK"
} | tee env.txt

# An installation whose owners are the addresses: the owner's name stored as
# "surnames*first name" (the label shows "first name surnames", as the CSV has it) and
# the three address lines as the owner's own postal address, which the address block
# takes as they are. Refs H001001 .. H100100 are property 1 .. 100, owner 1 .. 100.
# make_installation CSV ROOT
make_installation() {
  local csv=$1 root=$2
  rm -rf "$root"
  python3 "$top/demo/layout.py" "$root/" >/dev/null
  python3 - "$csv" "$root" <<'PY'
import csv, sys
source, root = sys.argv[1], sys.argv[2]
with open(source, encoding="utf-8", newline="") as f:
    rows = list(csv.DictReader(f))
properties, owners = [], []
for r in rows:
    ref = r["ref"]
    if len(ref) != 7 or ref[0] != "H" or not ref[1:].isdigit():
        sys.exit("unexpected ref %r" % ref)
    prop, owner = int(ref[1:4]), int(ref[4:7])
    given, surnames = r["name"].split(" ", 1)
    if not properties or properties[-1][0] != prop:
        properties.append([prop, "Finca %d" % prop, "", ""])
    owners.append([prop, owner, surnames + "*" + given, "", r["line1"], r["line2"], r["line3"]])
for name, header, data in (("properties", "property,address1,address2,address3", properties),
                           ("owners", "property,owner,name,unit,mail1,mail2,mail3", owners)):
    with open("%s/%s.csv" % (root, name), "w", encoding="utf-8", newline="") as f:
        f.write(header + "\n")
        csv.writer(f, lineterminator="\n").writerows(data)
PY
  "$zurdata" --root "$root/" init >/dev/null
  "$zurdata" --root "$root/" import properties "$root/properties.csv" >/dev/null
  "$zurdata" --root "$root/" import owners "$root/owners.csv" >/dev/null
}

# No word of the first and the last page runs over the edge of its 105 x 37 mm label
# or starts less than 3 mm from the label's left edge.
check_cells() {
  python3 - "$1" <<'PY'
import re, subprocess, sys
pdf = sys.argv[1]
MM = 72 / 25.4
W, H, TOP, INSET = 105 * MM, 37 * MM, 0.5 * MM, 3 * MM
info = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True, check=True).stdout
pages = int(re.search(r"^Pages:\s+(\d+)", info, re.M).group(1))
word = re.compile(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)<')
bad = []
for page in sorted({1, pages}):
    out = subprocess.run(["pdftotext", "-bbox", "-f", str(page), "-l", str(page), pdf, "-"],
                         capture_output=True, check=True).stdout.decode("utf-8")
    for x0, y0, x1, y1, text in word.findall(out):
        x0, y0, x1, y1 = map(float, (x0, y0, x1, y1))
        col, row = int(x0 // W), int((y0 - TOP) // H)
        if x0 - col * W < INSET or x1 > (col + 1) * W or y1 > TOP + (row + 1) * H:
            bad.append("page %d: %s at %.1f mm, %.1f mm" % (page, text, x0 / MM, y0 / MM))
if bad:
    print("FAIL %s: %d words over a label's edge, first: %s" % (pdf, len(bad), "; ".join(bad[:3])))
    sys.exit(1)
print("OK %s: every word of pages 1 and %d inside its label, at least 3 mm from its left edge" % (pdf, pages))
PY
}

# The label run and then the print program, on the installation in root (argument 1);
# each step's wall time goes to the log.
ours=(bash -c '
  export ZURROOT="$1/" ZURTMP="$1/TMP/"
  t0=$EPOCHREALTIME
  "$2" "$3" || exit
  t1=$EPOCHREALTIME
  "$4" || exit
  t2=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" -v c="$t2" "BEGIN { printf \"label run %.3f s, zurprint %.3f s\\n\", b - a, c - b }"
' ours)

printf 'case\tlabels\trun\twall_s\tuser_s\tsys_s\tmaxrss_mib\tcheck\n' > results.tsv

# timed TAG RUN PDF CSV COMMAND...: COMMAND under /usr/bin/time, its PDF checked.
timed() {
  local tag=$1 run=$2 pdf=$3 csv=$4 ok=OK
  shift 4
  rm -f "$pdf"
  /usr/bin/time -v -o "$tag-$run.time" "$@" >"$tag-$run.log" 2>&1 || ok=FAIL
  python3 "$PEER/check_pdf.py" "$pdf" "$csv" >"$tag-$run.check" 2>&1 || ok=FAIL
  if [ "$tag" = ours ]; then check_cells "$pdf" >>"$tag-$run.check" 2>&1 || ok=FAIL; fi
  awk -F': ' -v tag="$tag" -v n="$N" -v run="$run" -v ok="$ok" '
      /User time/ {u = $2} /System time/ {s = $2} /Maximum resident/ {m = $2}
      /Elapsed/ {k = split($2, a, ":"); w = 0; for (i = 1; i <= k; i++) w = w * 60 + a[i]}
      END {printf "%s\t%d\t%d\t%.2f\t%.2f\t%.2f\t%.0f\t%s\n", tag, n, run, w, u, s, m / 1024, ok}
  ' "$tag-$run.time" | tee -a results.tsv
  cat "$tag-$run.check"
  [ "$ok" = OK ] || { echo "$tag run $run failed: see $WORK/$tag-$run.log" >&2; exit 1; }
}

echo "== correctness on 100 labels (also warms the caches; not in the figures) =="
python3 "$PEER/gen_addresses.py" 100 addresses-100.csv
make_installation addresses-100.csv "$WORK/root-100"
"${ours[@]}" "$WORK/root-100" "$label_batch" "$WIDTH" "$zurprint" >warmup.log 2>&1
python3 "$PEER/check_pdf.py" "$WORK/root-100/TMP/zurprint.pdf" addresses-100.csv
check_cells "$WORK/root-100/TMP/zurprint.pdf"
glabels-3-batch -i addresses-100.csv -o peer-100.pdf "$PEER/labels.glabels" >>warmup.log 2>&1
python3 "$PEER/check_pdf.py" peer-100.pdf addresses-100.csv

echo "== $N labels =="
python3 "$PEER/gen_addresses.py" "$N" "addresses-$N.csv"
echo "addresses-$N.csv: sha256 $(sha256sum "addresses-$N.csv" | cut -d' ' -f1)"
make_installation "addresses-$N.csv" "$WORK/root"
for run in $(seq 1 "$RUNS"); do
  timed ours "$run" "$WORK/root/TMP/zurprint.pdf" "addresses-$N.csv" \
    "${ours[@]}" "$WORK/root" "$label_batch" "$WIDTH" "$zurprint"
  sed 's/^/    /' "ours-$run.log"
  timed sliced "$run" "sliced-$N.pdf" "addresses-$N.csv" \
    sh "$PEER/glabels_chunked.sh" "$PEER/labels.glabels" "addresses-$N.csv" "$CHUNK" "sliced-$N.pdf"
  if [ "$run" -le "$RUNS_SINGLE" ]; then
    timed single "$run" "single-$N.pdf" "addresses-$N.csv" \
      glabels-3-batch -i "addresses-$N.csv" -o "single-$N.pdf" "$PEER/labels.glabels"
  fi
done

echo "== summary (medians over the rounds) =="
python3 - results.tsv <<'PY' | tee summary.txt
import csv, statistics, sys
rows = list(csv.DictReader(open(sys.argv[1]), delimiter="\t"))
med = {}
print("%-8s %6s %4s %9s %9s %10s %9s   %s" % ("case", "labels", "runs", "wall_s", "cpu_s", "maxrss_MiB", "labels/s", "wall of each run"))
for case in ("ours", "sliced", "single"):
    rs = [r for r in rows if r["case"] == case]
    if not rs:
        continue
    n = int(rs[0]["labels"])
    wall = statistics.median(float(r["wall_s"]) for r in rs)
    cpu = statistics.median(float(r["user_s"]) + float(r["sys_s"]) for r in rs)
    rss = statistics.median(float(r["maxrss_mib"]) for r in rs)
    med[case] = wall
    print("%-8s %6d %4d %9.2f %9.2f %10.0f %9.0f   %s" % (case, n, len(rs), wall, cpu, rss, n / wall, ", ".join(r["wall_s"] for r in rs)))
for case in ("sliced", "single"):
    if case in med and med.get("ours"):
        print("%s / ours: %.1fx" % (case, med[case] / med["ours"]))
PY

if [ "$LETTERS" = 1 ] && [ -x "$BUILD/bench/bench_zurprint_render" ]; then
  echo "== zurprint on a 1,000-page letter spool =="
  "$BUILD/bench/bench_zurprint_render" --benchmark_filter=LetterSpool1000 \
    --benchmark_repetitions="$RUNS" --benchmark_counters_tabular=true 2>&1 | tee -a summary.txt
fi
echo "files: $WORK/results.tsv $WORK/summary.txt $WORK/env.txt"
