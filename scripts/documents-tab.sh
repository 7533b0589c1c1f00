#!/usr/bin/env bash
# A picture of the item form's DOCUMENTS tab, over the sample household with
# three documents of its first item (their files in the data folder's
# documents folder), to look at whether the list and its buttons fit:
#   scripts/documents-tab.sh [PROGRAM] [OUTPUT_DIR]
# writes documents-tab.png and document-form.png (the receipt in its form,
# opened by the tab's Change); PROGRAM defaults to build/app/vorsandt,
# OUTPUT_DIR to docs/screenshots.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/app/vorsandt}
out=${2:-$root/docs/screenshots}
tag=documents-tab
# shellcheck source=scripts/xvfb-session.sh
source "$root/scripts/xvfb-session.sh"
session_start

first=$(awk -F, 'NR == 2 { print $1; exit }' "$root/resources/sample-data/ITEMS.csv")
mkdir -p "$work/data/documents"
for f in "receipt-2019-03.pdf" "user-manual.pdf" "valuation 2024.pdf"; do
  printf '%%PDF-1.4\n' >"$work/data/documents/$f"
done
cat >"$work/documents.csv" <<CSV
DOC:DOCUMENT_REFERENCE,DOC:ITEM_REFERENCE,DOC:KIND,DOC:DESCRIPTION,DOC:DATE,DOC:FILE
1,$first,RECEIPT,Receipt from the shop,2019-03-14,receipt-2019-03.pdf
2,$first,MANUAL,User manual,2019-03-14,user-manual.pdf
3,$first,VALUATION,Valuation for the insurer,2024-06-02,valuation 2024.pdf
CSV
(cd "$work/data" && "$qvf" import DOCUMENTS "$work/documents.csv" >/dev/null) ||
  fail "the documents did not import"

program_start
# Past the welcome window and the Due Soon reminder to the bare frame.
to_bare_frame
# Browse INVENTORY ITEMS, the first item in its form, its seventh tab.
xdotool key --window "$frame" alt+b
sleep 0.5
xdotool key Return
sleep 4
xdotool key Return
sleep 3
for _ in 1 2 3 4 5 6; do
  xdotool key ctrl+Next
  sleep 0.7
done
sleep 1
shoot documents-tab.png
xdotool key alt+c
sleep 3
shoot document-form.png
xdotool key ctrl+F4
sleep 1
xdotool key ctrl+F4
sleep 1
xdotool key ctrl+F4
sleep 1
program_exit
