#!/bin/sh
# Runs an inventory check script over tables made from testdata/ and then
# compares the CHECKS table's export with what the run must leave (as sets
# of rows: the export is in file order, with CSV's CRLF line ends):
#   run_inventory_script.sh VORSANDT QVF WORK_DIR SCRIPT EXPECTED_CHECKS_CSV
set -e
bin=$1
qvf=$2
work=$3
script=$4
expected=$5
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work"
for csv in "$here"/testdata/*.csv; do
  (cd "$work" && "$qvf" import "$(basename "$csv" .csv)" "$csv" >/dev/null) ||
    { echo "import of $csv failed"; exit 3; }
done
VORSANDT_TODAY=2026-12-15 "$bin" --data "$work" --headless --script "$script"
(cd "$work" && "$qvf" export CHECKS) | tr -d '\r' | sort >"$work/checks.csv"
sort "$expected" >"$work/expected.csv"
if ! diff -u "$work/expected.csv" "$work/checks.csv"; then
  echo "CHECKS after the run differs from $expected"
  exit 4
fi
echo "CHECKS as expected"
