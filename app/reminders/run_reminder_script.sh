#!/bin/sh
# Runs a reminder script over tables made from CSV files, on a given day and
# with a given settings file:
#   run_reminder_script.sh VORSANDT QVF DATA_DIR SCRIPT TODAY SETTINGS [TABLE.csv ...]
# TODAY is YYYY-MM-DD or "-" for none; SETTINGS is the text of VORSANDT.ENV
# or "-" for none. The settings file lies beside the program, so with one the
# program is copied into a folder of its own first.
set -e
bin=$1 qvf=$2 data=$3 script=$4 today=$5 settings=$6
shift 6
rm -rf "$data" "$data.bin"
mkdir -p "$data"
for csv in "$@"; do
  table=$(basename "$csv" .csv)
  (cd "$data" && "$qvf" import "$table" "$csv" >/dev/null) || { echo "import of $csv failed"; exit 3; }
done
if [ "$settings" != "-" ]; then
  mkdir -p "$data.bin"
  cp "$bin" "$data.bin/vorsandt"
  printf '%s\n' "$settings" > "$data.bin/VORSANDT.ENV"
  bin=$data.bin/vorsandt
fi
if [ "$today" = "-" ]; then
  exec env -u VORSANDT_TODAY "$bin" --data "$data" --headless --script "$script"
fi
VORSANDT_TODAY=$today exec "$bin" --data "$data" --headless --script "$script"
