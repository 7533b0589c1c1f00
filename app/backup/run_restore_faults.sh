#!/bin/bash
# `vorsandt --restore --replace` over real tables, killed (SIGKILL) or failed
# (ENOSPC, EIO) at its Nth pwrite64, fsync, fdatasync, rename or renameat2,
# the calls through which it changes files:
#
#   run_restore_faults.sh VORSANDT QVF WORK ITEMS.csv POLICY.csv [STRIDE]
#
# After each run the program starts again (a backup, which first finishes or
# undoes an interrupted restore); the data folder must then hold exactly the
# tables it held before or exactly the restored ones, and none of the
# restore's own files. A restore that reports a failure must leave the old
# tables, unless it says the next start finishes it. STRIDE tries every
# STRIDE-th N (and always the first and the last).
set -u
vorsandt=$1 qvf=$2 work=$3 items=$4 policy=$5 stride=${6:-1}

fail() { echo "FAILED: $*"; exit 1; }

if ! strace -f -o /dev/null true >/dev/null 2>&1; then
  echo "strace cannot trace processes here"
  exit 77
fi
rm -rf "$work" && mkdir -p "$work/old" "$work/src" || fail "cannot make $work"
head -n 11 "$items" >"$work/ten.csv"
(cd "$work/old" && "$qvf" import ITEMS "$work/ten.csv" && "$qvf" import POLICY "$policy") \
  >/dev/null || fail "the old tables could not be made"
(cd "$work/src" && "$qvf" import ITEMS "$items" && "$qvf" import POLICY "$policy" &&
  printf 'LOC:LOCATION\nHall\nLoft\n' >loc.csv && "$qvf" import LOCATIONS loc.csv) \
  >/dev/null || fail "the new tables could not be made"
"$vorsandt" --data "$work/src" --backup "$work/b.tgz" >/dev/null || fail "backup failed"
cp -r "$work/old" "$work/ref" &&
  "$vorsandt" --data "$work/ref" --restore "$work/b.tgz" --replace >/dev/null ||
  fail "the restore without faults failed"

# same A B: the two folders hold the same tables and no other file.
same() {
  [ "$(cd "$1" && ls | sort)" = "$(cd "$2" && ls | sort)" ] || return 1
  for f in "$1"/*; do cmp -s "$f" "$2/$(basename "$f")" || return 1; done
}
# Only the tables (the backup's coordination file comes and goes).
tables_of() {
  rm -rf "$2" && mkdir "$2" && cp "$1"/*.QVF "$2"/ 2>/dev/null
  ls "$1" | grep -v -e '\.QVF$' -e '^velocara\.qcf$' -e '^next\.tgz' | sed 's/^/extra: /'
}
tables_of "$work/old" "$work/old-t" >/dev/null
tables_of "$work/ref" "$work/new-t" >/dev/null
same "$work/old-t" "$work/new-t" && fail "the backup holds the old tables"

tried=0 old=0 new=0 broken=0
# check LABEL: the folder d after the next start.
check() {
  tried=$((tried + 1))
  if ! "$vorsandt" --data "$work/d" --backup "$work/d/next.tgz" >"$work/next.out" 2>&1; then
    broken=$((broken + 1)); echo "BROKEN $1: the next start failed: $(cat "$work/next.out")"
    return
  fi
  extra=$(tables_of "$work/d" "$work/d-t")
  if [ -n "$extra" ]; then
    broken=$((broken + 1)); echo "BROKEN $1: files left: $extra"
  elif same "$work/d-t" "$work/old-t"; then
    old=$((old + 1))
  elif same "$work/d-t" "$work/new-t"; then
    new=$((new + 1))
  else
    broken=$((broken + 1)); echo "BROKEN $1: neither the old tables nor the new ones"
  fi
}

numbers() {
  local count=$1 n
  [ "$count" -ge 1 ] || return 0
  for ((n = 1; n <= count; n += stride)); do echo "$n"; done
  [ $(((count - 1) % stride)) -eq 0 ] || echo "$count"
}

for sc in pwrite64 fsync fdatasync rename renameat2; do
  rm -rf "$work/d" && cp -r "$work/old" "$work/d"
  strace -f -c -o "$work/count" -e trace="$sc" \
    "$vorsandt" --data "$work/d" --restore "$work/b.tgz" --replace >/dev/null 2>&1
  count=$(awk -v sc="$sc" '$NF == sc { print $4 }' "$work/count" | head -1)
  count=${count:-0}
  echo "$sc is called $count times by the restore"
  for n in $(numbers "$count"); do
    for how in signal=SIGKILL error=ENOSPC error=EIO; do
      [ "$how" = error=ENOSPC ] && [ "$sc" != pwrite64 ] && continue
      rm -rf "$work/d" && cp -r "$work/old" "$work/d"
      # (in a subshell, so that the shell does not announce the kill)
      (
        strace -f -o /dev/null -e inject="$sc:$how:when=$n" \
          "$vorsandt" --data "$work/d" --restore "$work/b.tgz" --replace >"$work/out" 2>&1
        exit $?
      ) 2>/dev/null
      rc=$?
      if [ "$how" != signal=SIGKILL ] && [ $rc -ne 0 ] && ! grep -q "next starts" "$work/out"; then
        tables_of "$work/d" "$work/d-t" >/dev/null
        if ! same "$work/d-t" "$work/old-t" || [ -n "$(tables_of "$work/d" "$work/d-t")" ]; then
          broken=$((broken + 1))
          echo "BROKEN $sc #$n $how: the failed restore did not leave the old tables: $(cat "$work/out")"
          continue
        fi
      fi
      check "$sc #$n $how"
    done
  done
done
echo "$tried runs: $old left the old tables, $new the restored ones, $broken broken"
[ $broken -eq 0 ] || fail "$broken runs broke the all-or-nothing rule"
[ $old -gt 0 ] && [ $new -gt 0 ] || fail "the runs did not reach both sides of the swap"
echo PASSED
