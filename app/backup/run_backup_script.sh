#!/bin/sh
# Runs a script of the program over the sample household's tables, with the
# CSV files of testdata/ in the data folder, then checks every table and
# the number of LOCATIONS rows the script leaves:
#   run_backup_script.sh VORSANDT QVF DATA_DIR SCRIPT LOCATIONS_ROWS SAMPLE_DIR TESTDATA_DIR
set -u
bin=$1 qvf=$2 data=$3 script=$4 rows=$5 sample=$6 testdata=$7
rm -rf "$data" && mkdir -p "$data" || exit 3
for csv in "$sample"/*.csv; do
  (cd "$data" && "$qvf" import "$(basename "$csv" .csv)" "$csv" >/dev/null) ||
    { echo "FAILED: import of $csv"; exit 3; }
done
cp "$testdata"/*.csv "$data"/
env -u VORSANDT_TODAY "$bin" --data "$data" --headless --script "$script" || exit 1
for f in "$data"/*.QVF; do
  "$qvf" check "$f" >/dev/null || { echo "FAILED: $f fails the check"; exit 1; }
done
got=$(cd "$data" && "$qvf" export LOCATIONS | tail -n +2 | wc -l)
[ "$got" -eq "$rows" ] || { echo "FAILED: LOCATIONS holds $got rows, expected $rows"; exit 1; }
echo PASSED
