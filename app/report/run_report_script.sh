#!/bin/sh
# Runs a report script over tables made from CSV files, with page images in
# a temporary folder of its own and the headless printer's pages logged:
#   run_report_script.sh VORSANDT QVF DATA_DIR SCRIPT [TABLE.csv ...]
# Prints "printed pages: N, page images left: M" after the run.
set -e
data=$3
tmp="$data.tmp"
rm -rf "$tmp"
mkdir -p "$tmp"
export TMPDIR="$tmp"
export VORSANDT_HEADLESS_PRINTS="$tmp/printed.txt"
rc=0
sh "$(dirname "$0")/../browse/run_list_script.sh" "$@" || rc=$?
printed=0
if [ -f "$VORSANDT_HEADLESS_PRINTS" ]; then
  printed=$(grep -c '^printed page ' "$VORSANDT_HEADLESS_PRINTS" || true)
  if [ -n "$CHECK_TEXTS" ]; then
    # Each line of CHECK_TEXTS must end a text drawn on some printed page
    # (numbers are right-aligned in their picture's width).
    echo "$CHECK_TEXTS" | while IFS= read -r text; do
      [ -z "$text" ] && continue
      grep -qF "$text\"" "$VORSANDT_HEADLESS_PRINTS" || { echo "not printed: $text"; exit 5; }
    done || rc=5
  fi
fi
left=$(find "$tmp" -name 'ZOR*' | wc -l)
echo "exit $rc, printed pages: $printed, page images left: $left"
exit $rc
