#!/bin/sh
# Two program instances on one data folder, each running its own script:
#   run_two_programs.sh VORSANDT QVF DATA_DIR SCRIPT_A SCRIPT_B TABLE.csv ...
# DATA_DIR is emptied and the tables imported into it; both programs start on
# it at once and take turns through signal files (wait-signal). Both scripts
# must hold; B's standard error must give the reason its save was refused,
# and the stored POLICY record must be the one A saved.
set -e
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
  (cd "$data" && "$qvf" import "$table" "$csv" >/dev/null) || { echo "import of $csv failed"; exit 3; }
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
[ "$rc_a" = 0 ] && [ "$rc_b" = 0 ] || { echo "a station's script failed"; exit 1; }
grep -q "Probable Cause: Record Changed by Another Station\." "$data.b.err" ||
  { echo "station B was not told the record changed"; exit 1; }
stored=$(cd "$data" && "$qvf" export POLICY) || { echo "export failed"; exit 1; }
echo "--- stored POLICY"; echo "$stored"
echo "$stored" | grep -q '^PA,.*,FIRST,' || { echo "the stored record is not A's"; exit 1; }
if echo "$stored" | grep -q 'SECOND'; then echo "B's change was stored"; exit 1; fi
echo "the stored record is A's"
