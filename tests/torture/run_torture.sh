#!/bin/bash
# Runs one torture scenario: the workload (torture_worker) interrupted or
# failed at every write and flush it makes, each run followed by
# torture_check on the files it left.
#
#   run_torture.sh BIN_DIR SCENARIO [STRIDE] [STEPS]
#
# SCENARIO
#   kill        the real kernel kills the worker (SIGKILL, injected by strace)
#               at the Nth pwrite64, fdatasync, fsync or ftruncate — the
#               calls the posix environment makes to change a file (fsync
#               when a flush must carry a new length, and for folders)
#   eio, enospc the Nth such call fails with EIO or ENOSPC instead: a failure
#               the worker is told of must carry code 329 or 339 (the system
#               error base 300 plus the mapped number 29 or 39); the worker
#               then reopens the tables, must find exactly the reported
#               saves, and goes on to the end. A failure after a save's commit
#               point may go unreported (the committed log is applied again)
#   lost        the fault-injecting environment stops the worker at the Nth
#               write or flush and crashes: unflushed writes all kept, all
#               lost, or a random subset kept with the last one torn at a
#               512-byte boundary (several seeds)
#   faults      the same environment fails the Nth write (EIO, ENOSPC) or
#               flush (EIO) once; the worker goes on as for eio
#   flushes     over the real files the Nth flush fails as it does on Linux:
#               the data it should have made durable never reaches the disk
#               though later flushes succeed (forgetful_env.h); the files are
#               then replaced by what the disk holds
#   contention  four workers and a reader share the tables for a bounded time
#   scans       three workers and three readers, two of them scanning every
#               key's order, for a bounded time (TORTURE_SECONDS), repeated
#               TORTURE_ROUNDS times over fresh tables
#   selftest    the checker must notice a missing reported save, a changed
#               record and a cut file
#   create_race four processes meet a missing table at once (two through
#               `qvf import`, two opening it as the program does) and add
#               their rows; repeated TORTURE_ROUNDS times (STRIDE unused)
#   rebuild_race `qvf rebuild` of a large table while imports and exports
#               run, every third rebuild killed on the way; TORTURE_ROUNDS
#               times
# The race scenarios need QVF (the qvf tool) in the environment.
# STRIDE tries every STRIDE-th N (always the first and last); 1 tries all.
# Prints a summary line; exits 1 when any run broke an invariant.
set -u
bin=$1
scenario=$2
stride=${3:-1}
steps=${4:-40}
worker=$bin/torture_worker
check=$bin/torture_check
work=$(mktemp -d "${TMPDIR:-/tmp}/torture.XXXXXX")
trap 'rm -rf "$work"' EXIT
dir=$work/d
tried=0
failed=0
reported=0  # runs in which the injected failure was reported to the program
limit="timeout -k 5 60"

fresh() {
  rm -rf "$dir"
  mkdir "$dir"
}

# failure TEXT: counts and shows a broken run (the first ten in full).
failure() {
  local reason=""
  failed=$((failed + 1))
  if [ "$failed" -le 10 ]; then
    echo "FAIL: $1"
    [ -f "$work/out" ] && sed 's/^/    /' "$work/out" | head -20
  fi
  # Broken runs are tallied by kind (numbers blanked) for the summary.
  [ -f "$work/out" ] && reason=$(grep -m1 -E "^after the|^at the end|torture_check:|Internal error|^strace" \
    "$work/out" | sed 's/[0-9][0-9]*/N/g' | cut -c1-160)
  echo "${reason:-$(echo "$1" | sed 's/[0-9][0-9]*/N/g')}" >>"$work/reasons"
  if [ "$failed" -gt 10 ] && [ -n "${TORTURE_VERBOSE:-}" ]; then
    echo "FAIL: $1: $(grep -m1 -E "^after the|^at the end|torture_check:|Internal error|^strace" \
      "$work/out")"
  fi
}

# run_check LABEL: checks the folder the last run left.
run_check() {
  tried=$((tried + 1))
  if ! $limit "$check" "$dir" >"$work/out" 2>&1; then
    failure "$1: check"
    return 1
  fi
  return 0
}

# numbers COUNT: 1..COUNT by STRIDE, and COUNT itself.
numbers() {
  local count=$1 n
  [ "$count" -ge 1 ] || return 0
  for ((n = 1; n <= count; n += stride)); do echo "$n"; done
  [ $(((count - 1) % stride)) -eq 0 ] || echo "$count"
}

# strace_count SYSCALL: how many times a whole run makes that call.
strace_count() {
  fresh
  $limit strace -f -c -o "$work/count" -e trace="$1" "$worker" "$dir" --steps "$steps" \
    >/dev/null 2>&1
  awk -v sc="$1" '$NF == sc { print $4 }' "$work/count" | head -1
}

journal_code() {
  # The code of the first failure the journal reports ("" when none).
  awk '$1 == "fail" { print $3; exit } $1 == "openfail" { print $2; exit }' "$dir/journal"
}

strace_scenario() {
  local mode=$1 inject expect sc count n rc code
  case $mode in
    kill) inject="signal=SIGKILL" ;;
    eio) inject="error=EIO"; expect=329 ;;
    enospc) inject="error=ENOSPC"; expect=339 ;;
  esac
  # Without strace, or where tracing is not permitted, the run is skipped
  # (exit 77, which CTest reports as skipped).
  if ! strace -f -o /dev/null true >/dev/null 2>&1; then
    echo "strace cannot trace processes here"
    exit 77
  fi
  for sc in pwrite64 fdatasync fsync ftruncate; do
    count=$(strace_count "$sc")
    count=${count:-0}
    echo "$mode: $sc is called $count times in a whole run"
    for n in $(numbers "$count"); do
      fresh
      # (in a subshell, so that the shell does not announce the kill)
      (
        $limit strace -f -o /dev/null -e inject="$sc:$inject:when=$n" "$worker" "$dir" \
          --steps "$steps" >"$work/out" 2>&1
        exit $?
      ) 2>/dev/null
      rc=$?
      if [ "$mode" != kill ]; then
        code=$(journal_code)
        if [ "$rc" -ne 0 ]; then
          tried=$((tried + 1)); failure "$mode $sc #$n: worker exit $rc"; continue
        fi
        if ! grep -qx end "$dir/journal"; then
          tried=$((tried + 1)); failure "$mode $sc #$n: the worker did not reach its end"
          continue
        fi
        # A failure after the save's commit point may be absorbed (the
        # committed log is applied again later); one that is reported must
        # carry the right code.
        if [ -n "$code" ] && [ "$code" != "$expect" ]; then
          tried=$((tried + 1))
          failure "$mode $sc #$n: reported code '${code}', expected $expect"
          continue
        fi
        [ -n "$code" ] && reported=$((reported + 1))
      elif [ "$rc" -ne 137 ] && [ "$rc" -ne 0 ]; then
        tried=$((tried + 1)); failure "$mode $sc #$n: worker exit $rc"; continue
      fi
      run_check "$mode $sc #$n"
    done
  done
}

fault_run() {
  # fault_run LABEL ARGS...: one worker run over the fault environment.
  local label=$1 rc
  shift
  fresh
  $limit "$worker" "$dir" --steps "$steps" "$@" >"$work/out" 2>&1
  rc=$?
  if [ "$rc" -ne 0 ]; then
    tried=$((tried + 1)); failure "$label: worker exit $rc"; return
  fi
  run_check "$label"
}

lost_scenario() {
  local seeds=${TORTURE_SEEDS:-4} writes syncs n s
  fresh
  read -r _ writes _ syncs < <("$worker" "$dir" --steps "$steps" --fault none:0 | tail -1)
  echo "lost: a whole run makes $writes writes and $syncs flushes"
  for n in $(numbers "$writes"); do
    for crash in keep drop $(for ((s = 1; s <= seeds; s++)); do echo "tear:$((n * 31 + s))"; done); do
      fault_run "stop at write $n, crash $crash" --fault "stop-write:$n" --crash "$crash"
    done
  done
  for n in $(numbers "$syncs"); do
    for crash in drop "tear:$n"; do
      fault_run "stop at flush $n, crash $crash" --fault "stop-sync:$n" --crash "$crash"
    done
  done
}

# A failed write or flush in the fault environment; after the run the
# unflushed writes are lost (crash drop), so every reported save must have
# been flushed.
faults_scenario() {
  local writes syncs n kind
  fresh
  read -r _ writes _ syncs < <("$worker" "$dir" --steps "$steps" --fault none:0 | tail -1)
  echo "faults: a whole run makes $writes writes and $syncs flushes"
  for n in $(numbers "$writes"); do
    for kind in fail-write-eio fail-write-enospc; do
      fault_run "$kind at write $n" --fault "$kind:$n"
      grep -q '^fail \|^openfail ' "$dir/journal" && reported=$((reported + 1))
    done
  done
  for n in $(numbers "$syncs"); do
    fault_run "fail-sync-eio at flush $n" --fault "fail-sync-eio:$n"
    grep -q '^fail \|^openfail ' "$dir/journal" && reported=$((reported + 1))
  done
}

# The Nth flush fails as on Linux: what it should have made durable is
# dropped from the disk image even though later flushes succeed; after the
# run the files hold only that image.
flushes_scenario() {
  local syncs n overlapping
  fresh
  "$worker" "$dir" --steps "$steps" --fault lose-sync:0 >"$work/count" 2>&1
  read -r _ syncs < <(tail -1 "$work/count")
  overlapping=$(awk '/^overlapping writes/ { print $3 }' "$work/count")
  echo "flushes: a whole run makes $syncs flushes, $overlapping writes overlap an unflushed one"
  # The lost scenario keeps subsets of the unflushed writes in their order;
  # that covers every order a disk may choose only while no two unflushed
  # writes touch the same bytes.
  tried=$((tried + 1))
  [ "$overlapping" = 0 ] || failure "flushes: $overlapping writes overlap an unflushed write"
  for n in $(numbers "$syncs"); do
    fault_run "flush $n fails and forgets" --fault "lose-sync:$n"
    grep -q '^fail \|^openfail ' "$dir/journal" && reported=$((reported + 1))
  done
}

# contention_scenario [WRITERS READER...]: WRITERS workers (default 4) and
# the readers named (--reader by default; --scanner reads every key's order
# too; --reader-runs and --scanner-runs make each scan one declared read run,
# which keeps the reader lock across calls for bounded tenures) share the
# tables for TORTURE_SECONDS.
contention_scenario() {
  local seconds=${TORTURE_SECONDS:-10} i pids=() rc
  local writers=${1:-4}
  [ $# -gt 0 ] && shift
  local readers=("$@")
  [ ${#readers[@]} -eq 0 ] && readers=(--reader)
  fresh
  # The tables are made first, so that the contenders only share them.
  "$worker" "$dir" --contend 9 --steps 0 >/dev/null 2>&1 || { failure "setup"; }
  rm -f "$dir/journal-9"
  local limit="timeout -k 5 $((seconds + 60))"
  local outs=()
  for ((i = 0; i < writers; i++)); do
    $limit "$worker" "$dir" --contend "$i" --seconds "$seconds" --steps 100000 \
      >"$work/out-$i" 2>&1 &
    pids+=($!)
    outs+=("$work/out-$i")
  done
  for i in "${!readers[@]}"; do
    $limit "$worker" "$dir" "${readers[$i]}" --seconds "$seconds" >"$work/out-r$i" 2>&1 &
    pids+=($!)
    outs+=("$work/out-r$i")
  done
  i=0
  for pid in "${pids[@]}"; do
    wait "$pid"
    rc=$?
    tried=$((tried + 1))
    if [ "$rc" -ne 0 ]; then
      cp "${outs[$i]}" "$work/out"
      failure "contention: process $i exit $rc"
    fi
    i=$((i + 1))
  done
  tried=$((tried + 1))
  if ! $limit "$check" "$dir" --journals "$writers" >"$work/out" 2>&1; then
    failure "contention: the files differ from the reported saves"
  fi
  local saves=0 fails=0
  for ((i = 0; i < writers; i++)); do
    saves=$((saves + $(grep -c '^ok ' "$dir/journal-$i")))
    fails=$((fails + $(grep -c '^fail ' "$dir/journal-$i")))
  done
  echo "$scenario: $writers writers, ${#readers[@]} readers, $saves saves reported," \
    "$fails refused, ${seconds}s"
  for i in "${!readers[@]}"; do echo "  reader $i: $(cat "$work/out-r$i")"; done
}

# Scans beside saves: readers (served from their caches without the reader
# lock while nothing changed) read every table in record order and in the
# order of every key while three writers save, alone and in transactions over
# two files; every record a call returns must come whole from one save.
# The writers run out of record numbers and delete what they made, so a long
# run is made of rounds (TORTURE_ROUNDS) over fresh tables.
scans_scenario() {
  local round
  for ((round = 1; round <= ${TORTURE_ROUNDS:-1}; round++)); do
    contention_scenario 3 --scanner-runs --scanner --reader
  done
}

# The checker itself must catch what it is there to catch: a reported save
# that is missing, a record changed behind the storage's back, a cut file.
selftest_scenario() {
  local size
  expect_broken() {
    tried=$((tried + 1))
    if $limit "$check" "$dir" >"$work/out" 2>&1; then failure "selftest: $1 went unnoticed"; fi
  }
  fresh
  "$worker" "$dir" --steps "$steps" >/dev/null 2>&1 || failure "selftest: worker"
  run_check "selftest: untouched files"
  printf 'begin 999 1 a 0 999 0\nok 999\n' >>"$dir/journal"
  expect_broken "a reported save that is not there"
  fresh
  "$worker" "$dir" --steps "$steps" >/dev/null 2>&1
  # One byte of a record's text in the middle of CLAIM's pages.
  size=$(stat -c %s "$dir/CLAIM.QVF")
  local at
  at=$(grep -obUa ' v[0-9]' "$dir/CLAIM.QVF" | awk -F: '$1 > 512 { print $1; exit }')
  printf 'X' | dd of="$dir/CLAIM.QVF" bs=1 seek=$((at - 1)) conv=notrunc status=none
  expect_broken "a changed record (CLAIM.QVF, $size bytes)"
  fresh
  "$worker" "$dir" --steps "$steps" >/dev/null 2>&1
  truncate -s 1024 "$dir/COMPANIES.QVF"
  expect_broken "a cut COMPANIES.QVF"
}

need_qvf() {
  if [ ! -x "${QVF:-}" ]; then
    echo "QVF does not name the qvf tool"
    exit 77
  fi
}

# qvf_check LABEL: the full check of LOCATIONS.QVF (these runs keep no
# journal for torture_check).
qvf_check() {
  tried=$((tried + 1))
  if ! (cd "$dir" && $limit "$QVF" check LOCATIONS.QVF) >"$work/out" 2>&1; then
    failure "$1: qvf check"
  fi
}

# The rows of LOCATIONS, sorted, without the header ("" when it cannot be
# exported); the export's status in $export_rc.
export_rows() {
  (cd "$dir" && $limit "$QVF" export LOCATIONS) >"$work/export" 2>"$work/export-err"
  export_rc=$?
  tail -n +2 "$work/export" | tr -d '\r' | sort
}

# Processes that find LOCATIONS missing at the same moment: none may
# replace the table another one made, so every row any of them was told it
# added is there, nothing else is, no private copy is left beside it and the
# file checks clean.
create_race_scenario() {
  local rounds=${TORTURE_ROUNDS:-10} rows=40 r i n pids rc
  need_qvf
  for i in 0 1; do
    { echo LOC:LOCATION; for ((n = 0; n < rows; n++)); do echo "Q$i-$n"; done; } >"$work/rows-$i.csv"
  done
  for ((r = 1; r <= rounds; r++)); do
    fresh
    pids=()
    for i in 0 1; do
      (cd "$dir" && exec $limit "$QVF" import LOCATIONS "$work/rows-$i.csv") >"$work/out-q$i" 2>&1 &
      pids+=("q$i:$!")
      $limit "$bin/table_race" "$dir" "$i" "$rows" >"$work/out-w$i" 2>&1 &
      pids+=("w$i:$!")
    done
    : >"$work/expected"
    for p in "${pids[@]}"; do
      wait "${p#*:}"
      rc=$?
      tried=$((tried + 1))
      if [ "$rc" -ne 0 ]; then
        cp "$work/out-${p%%:*}" "$work/out"
        failure "create_race round $r: process ${p%%:*} exit $rc"
        continue
      fi
      i=${p:1:1}
      if [ "${p:0:1}" = q ]; then
        tail -n +2 "$work/rows-$i.csv" >>"$work/expected"
      else
        for ((n = 0; n < rows; n++)); do echo "W$i-$n"; done >>"$work/expected"
      fi
    done
    sort -o "$work/expected" "$work/expected"
    tried=$((tried + 1))
    if ! diff -q "$work/expected" <(export_rows) >/dev/null; then
      echo "expected $(wc -l <"$work/expected") rows, found $(export_rows | wc -l)" >"$work/out"
      failure "create_race round $r: rows lost or added"
    fi
    if [ "$(ls "$dir")" != LOCATIONS.QVF ]; then
      ls "$dir" >"$work/out"
      failure "create_race round $r: files left beside the table"
    fi
    qvf_check "create_race round $r"
  done
  echo "create_race: $rounds rounds of 4 processes, $((rounds * 4 * rows)) rows reported added"
}

# A rebuild holds its table from start to end: imports and exports started
# meanwhile wait for it (or give up with 32) and never lose a row or see a
# half-rebuilt table; a rebuild killed on the way leaves the table as it was.
rebuild_race_scenario() {
  local rounds=${TORTURE_ROUNDS:-10} base=${TORTURE_ROWS:-40000} r k rc pids rebuild killed=0
  local lost=0 refused=0
  need_qvf
  fresh
  { echo LOC:LOCATION; seq -f "B%07g" 1 "$base"; } >"$work/base.csv"
  (cd "$dir" && $limit "$QVF" import LOCATIONS "$work/base.csv") >"$work/out" 2>&1 ||
    failure "rebuild_race: setup import"
  tail -n +2 "$work/base.csv" | sort >"$work/expected"
  for ((r = 1; r <= rounds; r++)); do
    (cd "$dir" && exec "$QVF" rebuild LOCATIONS) >"$work/out-rebuild" 2>&1 &
    rebuild=$!
    sleep "0.0$((RANDOM % 10))"
    pids=()
    for k in 0 1 2; do
      printf 'LOC:LOCATION\nR%03d-%d\n' "$r" "$k" >"$work/one-$k.csv"
      (cd "$dir" && exec $limit "$QVF" import LOCATIONS "$work/one-$k.csv") >"$work/out-$k" 2>&1 &
      pids+=($!)
    done
    (cd "$dir" && exec $limit "$QVF" export LOCATIONS) >"$work/out-export" 2>&1 &
    pids+=($!)
    if [ $((r % 3)) -eq 0 ]; then
      sleep "0.$((RANDOM % 3))$((RANDOM % 10))"
      kill -9 "$rebuild" 2>/dev/null && killed=$((killed + 1))
    fi
    { wait "$rebuild"; } 2>/dev/null  # (the shell would announce the kill)
    rc=$?
    tried=$((tried + 1))
    if [ "$rc" -ne 0 ] && [ "$rc" -ne 137 ] && ! grep -q '(32)' "$work/out-rebuild"; then
      cp "$work/out-rebuild" "$work/out"
      failure "rebuild_race round $r: rebuild exit $rc"
    fi
    for k in 0 1 2; do
      wait "${pids[$k]}"
      rc=$?
      tried=$((tried + 1))
      if [ "$rc" -eq 0 ]; then
        printf 'R%03d-%d\n' "$r" "$k" >>"$work/expected"
      elif grep -q '(32)' "$work/out-$k"; then
        refused=$((refused + 1))
      else
        cp "$work/out-$k" "$work/out"
        failure "rebuild_race round $r: import $k exit $rc"
      fi
    done
    wait "${pids[3]}"
    rc=$?
    tried=$((tried + 1))
    if [ "$rc" -ne 0 ] && ! grep -q '(32)' "$work/out-export"; then
      cp "$work/out-export" "$work/out"
      failure "rebuild_race round $r: export exit $rc"
    elif [ "$rc" -eq 0 ] && [ "$(($(wc -l <"$work/out-export") - 1))" -lt "$base" ]; then
      failure "rebuild_race round $r: the export saw $(wc -l <"$work/out-export") lines"
    fi
    sort -o "$work/expected" "$work/expected"
    tried=$((tried + 1))
    if ! diff -q "$work/expected" <(export_rows) >/dev/null; then
      lost=$((lost + 1))
      { cat "$work/export-err"; diff "$work/expected" <(export_rows) | head; } >"$work/out"
      failure "rebuild_race round $r: the table differs from the reported imports"
    fi
    qvf_check "rebuild_race round $r"
  done
  echo "rebuild_race: $rounds rebuilds of $base rows ($killed killed), $((rounds * 3 - refused))" \
    "imports reported and found, $refused refused with 32"
}

case $scenario in
  kill | eio | enospc) strace_scenario "$scenario" ;;
  lost) lost_scenario ;;
  faults) faults_scenario ;;
  flushes) flushes_scenario ;;
  contention) contention_scenario 4 --reader-runs --reader ;;
  scans) scans_scenario ;;
  selftest) selftest_scenario ;;
  create_race) create_race_scenario ;;
  rebuild_race) rebuild_race_scenario ;;
  *) echo "unknown scenario $scenario"; exit 2 ;;
esac
echo "$scenario: $tried runs checked, $failed broken, $reported with the failure reported"
if [ -f "$work/reasons" ]; then
  echo "broken runs by kind:"
  sort "$work/reasons" | uniq -c | sort -rn
fi
[ "$failed" -eq 0 ]
