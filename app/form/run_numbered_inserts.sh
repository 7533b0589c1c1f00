#!/bin/sh
# Numbered inserts with two program instances on one data folder:
#   run_numbered_inserts.sh VORSANDT QVF DATA_DIR SCRIPT_DIR ROUNDS TABLE.csv ...
# Each round imports the tables afresh into DATA_DIR and runs one scenario of
# SCRIPT_DIR's numbered_*.script, checking the ITEMS table afterwards:
#   taken:    A's insert form holds item 5, B's save of it is refused; once
#             A's hold is gone B saves real data into item 5; A cancels:
#             B's item 5 stays as B saved it.
#   taken-ok: the same, but A saves: A's item goes to number 6, B's stays 5.
#   late:     B opens item 5 only while A's hold is gone and saves real data
#             into it; A cancels: B's item 5 stays.
#   killed:   A is killed with its insert form open; the next program's
#             numbering removes the blank item 5 and gives 5 again.
# ROUNDS rounds go through the scenarios in turn (at least the four). Every
# table passes `qvf check` after each round. Prints "0 broken, 0 lost" and
# exits 0 when every round held.
set -e
bin=$1
qvf=$2
data=$3
scripts=$4
rounds=$5
shift 5
[ "$rounds" -ge 4 ] || rounds=4
broken=0
lost=0
failed=0

fresh() {
  rm -rf "$data" "$data.signals"
  mkdir -p "$data" "$data.signals"
  for csv in "$@"; do
    table=$(basename "$csv" .csv)
    (cd "$data" && "$qvf" import "$table" "$csv" >/dev/null) || { echo "import of $csv failed"; exit 3; }
  done
}

# The stored ITEMS rows whose item text is $1 (a whole CSV field).
count_items() {
  (cd "$data" && "$qvf" export ITEMS) | grep -c "^$2,[^,]*,$1," || true
}

check_tables() {
  for f in "$data"/*.QVF; do
    if ! (cd "$data" && "$qvf" check "$(basename "$f")" >/dev/null 2>&1); then
      echo "round $round: $(basename "$f") fails the check"
      broken=$((broken + 1))
    fi
  done
}

run_pair() {
  export VORSANDT_SCRIPT_SIGNALS="$data.signals"
  "$bin" --data "$data" --headless --script "$scripts/$1" >"$data.a.out" 2>"$data.a.err" &
  pid_a=$!
  rc_b=0
  "$bin" --data "$data" --headless --script "$scripts/$2" >"$data.b.out" 2>"$data.b.err" || rc_b=$?
  rc_a=0
  wait "$pid_a" || rc_a=$?
  if [ "$rc_a" != 0 ] || [ "$rc_b" != 0 ]; then
    echo "round $round ($scenario): a station's script failed (A $rc_a, B $rc_b)"
    cat "$data.a.err" "$data.b.err"
    failed=$((failed + 1))
  fi
}

round=1
while [ "$round" -le "$rounds" ]; do
  case $((round % 4)) in
    1) scenario=taken ;;
    2) scenario=taken-ok ;;
    3) scenario=late ;;
    0) scenario=killed ;;
  esac
  fresh "$@"
  rows_before=$(cd "$data" && "$qvf" export ITEMS | wc -l)
  case $scenario in
    taken | late)
      if [ "$scenario" = taken ]; then
        run_pair numbered_taken_a.script numbered_taken_b.script
      else
        run_pair numbered_taken_a.script numbered_late_b.script
      fi
      [ "$(count_items '"\{0,1\}B REAL ITEM"\{0,1\}' 5)" = 1 ] ||
        { echo "round $round: B's saved item 5 was lost"; lost=$((lost + 1)); }
      (cd "$data" && "$qvf" export ITEMS) | grep '^5,' | grep -q '999' ||
        { echo "round $round: B's price of item 5 was lost"; lost=$((lost + 1)); }
      want=$((rows_before + 1))
      ;;
    taken-ok)
      run_pair numbered_taken_a_ok.script numbered_taken_b.script
      [ "$(count_items '"\{0,1\}B REAL ITEM"\{0,1\}' 5)" = 1 ] ||
        { echo "round $round: B's saved item 5 was lost"; lost=$((lost + 1)); }
      [ "$(count_items '"\{0,1\}A OWN ITEM"\{0,1\}' 6)" = 1 ] ||
        { echo "round $round: A's saved item was lost"; lost=$((lost + 1)); }
      want=$((rows_before + 2))
      ;;
    killed)
      export VORSANDT_SCRIPT_SIGNALS="$data.signals"
      "$bin" --data "$data" --headless --script "$scripts/numbered_killed_a.script" \
        >"$data.a.out" 2>"$data.a.err" &
      pid_a=$!
      waited=0
      while [ ! -e "$data.signals/a-open" ] && [ "$waited" -lt 600 ]; do
        sleep 0.1
        waited=$((waited + 1))
      done
      kill -9 "$pid_a" 2>/dev/null || true
      wait "$pid_a" 2>/dev/null || true
      [ -e "$data.signals/a-open" ] || { echo "round $round: A never opened its insert"; failed=$((failed + 1)); }
      rc_b=0
      "$bin" --data "$data" --headless --script "$scripts/numbered_killed_b.script" \
        >"$data.b.out" 2>"$data.b.err" || rc_b=$?
      [ "$rc_b" = 0 ] || { echo "round $round (killed): B's script failed"; cat "$data.b.err"; failed=$((failed + 1)); }
      [ "$(count_items '"\{0,1\}AFTER THE KILL"\{0,1\}' 5)" = 1 ] ||
        { echo "round $round: the item after the kill is not number 5"; failed=$((failed + 1)); }
      want=$((rows_before + 1))
      ;;
  esac
  rows=$(cd "$data" && "$qvf" export ITEMS | wc -l)
  if [ "$rows" != "$want" ]; then
    echo "round $round ($scenario): ITEMS has $rows lines, expected $want"
    (cd "$data" && "$qvf" export ITEMS)
    failed=$((failed + 1))
  fi
  check_tables
  round=$((round + 1))
done
echo "$rounds rounds: $broken broken, $lost lost, $failed failed"
[ "$broken" = 0 ] && [ "$lost" = 0 ] && [ "$failed" = 0 ] || exit 1
echo "0 broken, 0 lost"
