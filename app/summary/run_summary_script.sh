#!/bin/sh
# Runs a summary window script over tables made from the CSV files of
# testdata/:
#   run_summary_script.sh VORSANDT QVF DATA_DIR SCRIPT TESTDATA_DIR
set -e
bin=$1 qvf=$2 data=$3 script=$4 testdata=$5
rm -rf "$data"
mkdir -p "$data"
for csv in "$testdata"/*.csv; do
  table=$(basename "$csv" .csv)
  (cd "$data" && "$qvf" import "$table" "$csv" >/dev/null) || { echo "import of $csv failed"; exit 3; }
done
exec "$bin" --data "$data" --headless --script "$script"
