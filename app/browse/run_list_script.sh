#!/bin/sh
# Runs a list-window script over tables made from CSV files:
#   run_list_script.sh VORSANDT QVF DATA_DIR SCRIPT [TABLE.csv ...]
# DATA_DIR is emptied first; each CSV is imported into the table it names.
set -e
bin=$1
qvf=$2
data=$3
script=$4
shift 4
rm -rf "$data"
mkdir -p "$data"
for csv in "$@"; do
  table=$(basename "$csv" .csv)
  (cd "$data" && "$qvf" import "$table" "$csv" >/dev/null) || { echo "import of $csv failed"; exit 3; }
done
exec "$bin" --data "$data" --headless --script "$script"
