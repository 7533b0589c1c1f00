# Sourced by the tests that run two program instances on one data folder.
#   two_stations VORSANDT QVF DATA_DIR SCRIPT_A SCRIPT_B TABLE.csv ...
# DATA_DIR is emptied and the tables imported into it; both programs start on
# it at once, each with its own script, and take turns through signal files
# (wait-signal). Both standard errors are printed; the call fails when an
# import or a station's script failed. A's error output is left in
# DATA_DIR.a.err and B's in DATA_DIR.b.err for the caller's own checks.
two_stations() {
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
    (cd "$data" && "$qvf" import "$table" "$csv" >/dev/null) || { echo "FAIL: import of $csv"; return 1; }
  done
  VORSANDT_SCRIPT_SIGNALS="$signals"
  export VORSANDT_SCRIPT_SIGNALS
  "$bin" --data "$data" --headless --script "$script_a" >"$data.a.out" 2>"$data.a.err" &
  pid_a=$!
  rc_b=0
  "$bin" --data "$data" --headless --script "$script_b" >"$data.b.out" 2>"$data.b.err" || rc_b=$?
  rc_a=0
  wait "$pid_a" || rc_a=$?
  echo "--- station A (exit $rc_a)"; cat "$data.a.err"
  echo "--- station B (exit $rc_b)"; cat "$data.b.err"
  [ "$rc_a" = 0 ] && [ "$rc_b" = 0 ] || { echo "FAIL: a station's script failed"; return 1; }
}
