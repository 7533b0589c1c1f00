#!/usr/bin/env bash
# Pictures of the inventory check and the labels over the sample household,
# to look at whether the windows fit:
#   scripts/labels-and-checks.sh [PROGRAM] [OUTPUT_DIR]
# writes inventory-check.png (Browse Files > Inventory Check on the first
# location, one item seen 400 days ago and one 10 days ago; Down and Space
# tick the third as seen today), labels-dialog.png (Reports > Labels) and
# label-preview.png (its OK: the first A4 sheet in the print preview).
# PROGRAM defaults to build/app/vorsandt, OUTPUT_DIR to docs/screenshots;
# VORSANDT_SCREEN=1920x1080 for the larger screen.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/app/vorsandt}
out=${2:-$root/docs/screenshots}
tag=labels-and-checks
# shellcheck source=scripts/xvfb-session.sh
source "$root/scripts/xvfb-session.sh"
session_start

# Two checks of the first location's items, as of the run's fixed today
# (2026-12-22): 400 days and 10 days before it.
python3 - "$root/resources/sample-data" "$work/checks.csv" <<'PY'
import csv, sys
items = sorted((r["ITE:LOCATION"], r["ITE:ITEM"].upper(), r["ITE:ITEM_CODE"])
               for r in csv.DictReader(open(sys.argv[1] + "/ITEMS.csv")))
first = min(r["LOC:LOCATION"] for r in csv.DictReader(open(sys.argv[1] + "/LOCATIONS.csv")))
codes = [code for loc, _, code in items if loc == first]
with open(sys.argv[2], "w") as out:
    out.write("CHK:ITEM_REFERENCE,CHK:DATE_SEEN\n%s,2025-11-17\n%s,2026-12-12\n" % (codes[0], codes[1]))
PY
qvf=$(realpath "$qvf")
(cd "$work/data" && "$qvf" import CHECKS "$work/checks.csv" >/dev/null) || fail "the checks did not import"

program_start
# Past the welcome window and the Due Soon reminder to the bare frame.
xdotool key --window "$frame" Return
sleep 2
xdotool key --window "$frame" alt+c
sleep 1

# Browse Files > Inventory Check, its last item.
xdotool key --window "$frame" alt+b
sleep 0.5
xdotool key Up Return
sleep 3
xdotool key --window "$frame" Down Down space
sleep 1
shoot inventory-check.png

# Reports > Labels, its last item: the dialog, then OK and the preview.
xdotool key --window "$frame" alt+r
sleep 0.5
xdotool key Up Up Return
wait_for "xdotool search --name '^Labels\$'" 20 || fail "the labels dialog did not appear"
dialog=$(xdotool search --name '^Labels$' | head -n1)
xdotool windowfocus --sync "$dialog" || true
sleep 1
shoot labels-dialog.png
xdotool key --window "$dialog" Return
wait_for "xdotool search --name '^Print Preview\$'" 30 || fail "the labels' preview did not appear"
preview=$(xdotool search --name '^Print Preview$' | head -n1)
xdotool windowfocus --sync "$preview" || true
sleep 2
shoot label-preview.png
xdotool key --window "$preview" alt+c
wait_for "! xdotool search --name '^Print Preview\$'" 10 || fail "Cancel did not close the preview"
program_exit
