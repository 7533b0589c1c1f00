#!/bin/sh
# Two program instances on one data folder: A saves an item that B deleted
# meanwhile with its location.
#   run_vanished_item.sh VORSANDT QVF DATA_DIR SCRIPT_A SCRIPT_B TABLE.csv ...
# Both scripts must hold, and A must have been told, besides the table the
# message names, that the record and its location Kitchen are gone.
bin=$1
qvf=$2
data=$3
script_a=$4
script_b=$5
shift 5
signals=$data.signals
rm -rf "$data" "$signals"
mkdir -p "$data" "$signals"
for csv in "$@"; do
  table=$(basename "$csv" .csv)
  (cd "$data" && "$qvf" import "$table" "$csv" >/dev/null) || { echo "FAIL: import of $csv"; exit 1; }
done
export VORSANDT_SCRIPT_SIGNALS="$signals"
"$bin" --data "$data" --headless --script "$script_a" >"$data.a.out" 2>"$data.a.err" &
pid_a=$!
rc_b=0
"$bin" --data "$data" --headless --script "$script_b" >"$data.b.out" 2>"$data.b.err" || rc_b=$?
rc_a=0
wait "$pid_a" || rc_a=$?
echo "--- station A (exit $rc_a)"; cat "$data.a.err"
echo "--- station B (exit $rc_b)"; cat "$data.b.err"
[ "$rc_a" = 0 ] && [ "$rc_b" = 0 ] || { echo "FAIL: a station's script failed"; exit 1; }
grep -q 'Probable Cause: ITEMS.  This ITEMS record is no longer on file: another station deleted it, with the LOCATIONS record "Kitchen" it belonged to, which is no longer on file either\.' "$data.a.err" ||
  { echo "FAIL: station A was not told the item went with its location"; exit 1; }
echo "vanished item: A was told"
