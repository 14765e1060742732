#!/usr/bin/env bash
# Times the print program on N address labels spooled the way the letter module spools
# them: 45 columns x 9 lines per label, two across, 16 to an A4 page, each line written in
# pieces at columns 1, 46 and 91.
#
#   bench/zurprint_labels.sh [N] [CSV] [RUNS]
#
# N defaults to 10000. With a CSV (UTF-8, header ref,name,line1,line2,line3) its first N
# records are the labels; otherwise N synthetic addresses. The PDF is left in the work
# folder (printed at the end) for checking; one line per run gives the wall time.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
n=${1:-10000}
csv=${2:-}
runs=${3:-3}
bin=${ZURPRINT:-$top/build/default/tools/zurprint/zurprint}
work=$(mktemp -d)

python3 - "$n" "$csv" "$work/zurprint.tmp" <<'PY'
import csv, sys
n, source, out = int(sys.argv[1]), sys.argv[2], sys.argv[3]
rows = []
if source:
    with open(source, newline='', encoding='utf-8') as f:
        for r in csv.DictReader(f):
            rows.append([r['ref'], r['name'], r['line1'], r['line2'], r['line3']])
            if len(rows) == n:
                break
else:
    for i in range(1, n + 1):
        rows.append(['H%06d' % i, 'Mart\u00ed Soler G\u00fcell %d' % i,
                     'Avinguda Catalunya, %d 1r 2a' % (i % 300), '08240 Manresa', 'Barcelona'])
width, lines, page_length = 45, 9, 72
spool = ['DEVICEPDF:' + out[:-len('zurprint.tmp')] + 'labels.pdf']
line_count, page_open = 0, False
def num(v):
    return (' ' if v >= 0 else '-') + str(abs(v)) + ' '
def text(col, t, adv):
    global line_count
    t = ''.join(' ' if ord(c) < 32 else c for c in t)
    spool.append(num(col) + ',' + t + ',' + num(adv))
    line_count += adv
def flush(row):
    global page_open, line_count
    if not page_open:
        page_open = True
        spool.append('PAGE' + num(page_length))
        spool.append('*@e')
        line_count = 0
    for i in range(lines):
        cut = row[i][:96]
        for c in range(1, 97, width):
            text(c, cut[c - 1:c - 1 + width], 0)
        text(0, '', 1)
    page_open = 0 < line_count < page_length
row, in_row = [''] * lines, 0
for block in rows:
    for i in range(5):
        if i == 0:
            ref = (block[0].rstrip() + ' ' * 7)[-width:]
            label = ' ' * (width - len(ref)) + ref
        else:
            label = block[i][:width].ljust(width)
        row[i] += label
    in_row += 1
    if in_row == 2:
        flush(row)
        row, in_row = [''] * lines, 0
if in_row:
    flush(row)
with open(out, 'wb') as f:
    f.write(('\r\n'.join(spool) + '\r\n').encode('cp850', errors='replace'))
PY

for run in $(seq 1 "$runs"); do
  start=$EPOCHREALTIME
  ZURTMP="$work/" "$bin" >/dev/null
  end=$EPOCHREALTIME
  awk -v n="$n" -v r="$run" -v s="$start" -v e="$end" \
    'BEGIN { printf "zurprint %d labels, run %d: %.3f s\n", n, r, e - s }'
done
pdfinfo "$work/labels.pdf" | grep -E '^(Pages|Page size)'
echo "PDF: $work/labels.pdf"
