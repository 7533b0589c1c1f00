#!/bin/sh
# The reports of the sample household (scripts/load-sample-data.sh) from the
# command line, their pages read with pdftotext -bbox:
#   run_sample_pages.sh VORSANDT QVF WORK_DIR
# In every report no line but the page number reaches the page footer (648
# points down); in the inventory every page that goes on with a location
# begins with its header marked "(continued)", every location begins once,
# and every item of the table is printed (check_report_pages.awk).
set -e
bin=$1
qvf=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work/tmp"
fail() { echo "FAIL: $*"; exit 1; }
bash "$here/../../scripts/load-sample-data.sh" "$qvf" "$work/data" >/dev/null
export TMPDIR="$work/tmp"
export VORSANDT_TODAY=2026-06-01
items=$(cd "$work/data" && "$qvf" export ITEMS | awk 'NR > 1 && /^[0-9]+,/' | wc -l)
summary=""
for report in inventory insurance coverage; do
  "$bin" --data "$work/data" --report $report --pdf "$work/$report.pdf" 2>"$work/err.txt" ||
    fail "$report: $(cat "$work/err.txt")"
  pdftotext -bbox "$work/$report.pdf" "$work/$report.html"
  groups=0
  [ $report = inventory ] && groups=1
  awk -v footer_top=648 -v flow_top=144 -v groups=$groups -v items="$items" \
    -f "$here/check_report_pages.awk" "$work/$report.html" >"$work/check.txt" ||
    fail "$report: $(cat "$work/check.txt")"
  summary="$summary $report $(cat "$work/check.txt");"
done
continued=$(pdftotext -layout "$work/inventory.pdf" - | grep -c '(continued)' || true)
[ "$continued" -gt 0 ] || fail "inventory: no page goes on with a location"
echo "sample pages:$summary $continued continued location headers"
