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
#   selftest    the checker must notice a missing reported save, a changed
#               record and a cut file
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

contention_scenario() {
  local seconds=${TORTURE_SECONDS:-10} i pids=() rc
  fresh
  # The tables are made first, so that the contenders only share them.
  "$worker" "$dir" --contend 9 --steps 0 >/dev/null 2>&1 || { failure "setup"; }
  rm -f "$dir/journal-9"
  local limit="timeout -k 5 $((seconds + 60))"
  for i in 0 1 2 3; do
    $limit "$worker" "$dir" --contend "$i" --seconds "$seconds" --steps 100000 \
      >"$work/out-$i" 2>&1 &
    pids+=($!)
  done
  $limit "$worker" "$dir" --reader --seconds "$seconds" >"$work/out-r" 2>&1 &
  pids+=($!)
  i=0
  for pid in "${pids[@]}"; do
    wait "$pid"
    rc=$?
    tried=$((tried + 1))
    if [ "$rc" -ne 0 ]; then
      cp "$work/out-$([ $i -lt 4 ] && echo $i || echo r)" "$work/out"
      failure "contention: process $i exit $rc"
    fi
    i=$((i + 1))
  done
  tried=$((tried + 1))
  if ! $limit "$check" "$dir" --journals 4 >"$work/out" 2>&1; then
    failure "contention: the files differ from the reported saves"
  fi
  local saves=0 fails=0
  for i in 0 1 2 3; do
    saves=$((saves + $(grep -c '^ok ' "$dir/journal-$i")))
    fails=$((fails + $(grep -c '^fail ' "$dir/journal-$i")))
  done
  echo "contention: 4 writers, 1 reader ($(cat "$work/out-r")), $saves saves reported," \
    "$fails refused, ${seconds}s"
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

case $scenario in
  kill | eio | enospc) strace_scenario "$scenario" ;;
  lost) lost_scenario ;;
  faults) faults_scenario ;;
  flushes) flushes_scenario ;;
  contention) contention_scenario ;;
  selftest) selftest_scenario ;;
  *) echo "unknown scenario $scenario"; exit 2 ;;
esac
echo "$scenario: $tried runs checked, $failed broken, $reported with the failure reported"
if [ -f "$work/reasons" ]; then
  echo "broken runs by kind:"
  sort "$work/reasons" | uniq -c | sort -rn
fi
[ "$failed" -eq 0 ]
