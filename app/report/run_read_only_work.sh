#!/bin/sh
# The command line's reports, claim pack and backup at the edges:
#   run_read_only_work.sh VORSANDT QVF WORK_DIR TABLE.csv ...
# Over tables imported from the CSV files, checks that
#  - a PDF named by a pipe, a folder, a link to a pipe or a device is refused
#    by name and left as it was, exit 1; a missing folder says the system's
#    reason; a full disk (a 20 KiB tmpfs, where this may mount one) fails with
#    exit 1 and leaves no file, for a report and for the claim pack;
#  - a report over a table it cannot open (a folder at ITEMS.QVF, an empty
#    ITEMS.QVF) says why in words and exits 1, and the empty file is kept;
#  - reports over an empty folder create no table file;
#  - reports, the claim pack and a backup work over a read-only mount (where
#    this may mount one), and over a folder whose tables may only be read.
# Prints "read-only work: all checks held" at the end; "FAIL:" otherwise.
bin=$1
qvf=$2
work=$3
shift 3
rm -rf "$work"
mkdir -p "$work/data" "$work/tmp"
export TMPDIR="$work/tmp"
cd "$work" || exit 1
for csv in "$@"; do
  table=$(basename "$csv" .csv)
  (cd data && "$qvf" import "$table" "$csv" >/dev/null) || { echo "FAIL: import of $csv"; exit 1; }
done

fail() { echo "FAIL: $*"; [ -n "$mounted" ] && umount $mounted 2>/dev/null; exit 1; }
mounted=""

# run EXPECTED_EXIT ARGS...: runs the program, its standard error in err.txt.
run() {
  want=$1
  shift
  "$bin" "$@" </dev/null >out.txt 2>err.txt
  got=$?
  [ "$got" = "$want" ] || fail "$* exited $got, not $want: $(cat err.txt)"
}

# --- PDF names that are not regular files
mkfifo pipe.pdf
mkdir folder.pdf
ln -s pipe.pdf link.pdf
targets="pipe.pdf pipe
folder.pdf folder
link.pdf pipe"
# A null device of our own (never the system's, which a rename as root
# would replace).
if mknod device.pdf c 1 3 2>/dev/null; then targets="$targets
device.pdf device"; fi
echo "$targets" > targets.txt
while read -r name kind; do
  run 1 --data data --report inventory --pdf "$name"
  grep -q "cannot write $work/$name: it is a $kind" err.txt || fail "report to $name: $(cat err.txt)"
  run 1 --data data --report claimpack --claim 1 --pdf "$name"
  grep -q "could not be written to $work/$name.  It is a $kind" err.txt ||
    fail "claim pack to $name: $(cat err.txt)"
done < targets.txt
rm targets.txt
[ -p pipe.pdf ] && [ -d folder.pdf ] && [ -L link.pdf ] || fail "a refused name was replaced"
[ ! -e device.pdf ] || [ -c device.pdf ] || fail "the device was replaced"
[ -z "$(ls folder.pdf)" ] || fail "something was written into the folder"
[ -z "$(ls | grep -v -x -e data -e tmp -e pipe.pdf -e folder.pdf -e link.pdf -e device.pdf -e out.txt -e err.txt)" ] ||
  fail "files left beside the refused names: $(ls)"

run 1 --data data --report inventory --pdf /nonexistent-folder-for-report/r.pdf
grep -q "cannot write /nonexistent-folder-for-report/r.pdf: No such file or directory" err.txt ||
  fail "missing folder: $(cat err.txt)"

# --- A full disk
mkdir small
if mount -t tmpfs -o size=20k tmpfs small 2>/dev/null; then
  mounted=small
  run 1 --data data --report inventory --pdf small/inventory.pdf
  grep -q "cannot write $work/small/inventory.pdf: No space left on device" err.txt ||
    fail "full disk report: $(cat err.txt)"
  run 1 --data data --report claimpack --claim 1 --pdf small/claim.pdf
  grep -q "could not be written to $work/small/claim.pdf.  No space left on device" err.txt ||
    fail "full disk claim pack: $(cat err.txt)"
  if grep -q "was written" err.txt; then fail "the claim pack said it was written"; fi
  [ -z "$(ls -A small)" ] || fail "a full disk kept $(ls -A small)"
  umount small
  mounted=""
  full="full disk checked"
else
  full="full disk not checked (no tmpfs mount here)"
fi

# --- Tables that cannot be opened: a halt is a failure, said in words
mkdir -p folder_table empty_table
cp data/*.QVF folder_table/
cp data/*.QVF empty_table/
rm folder_table/ITEMS.QVF
mkdir folder_table/ITEMS.QVF
: > empty_table/ITEMS.QVF
run 1 --data folder_table --report inventory --pdf folder_table.pdf
grep -q "ITEMS.QVF is a folder, not a table file" err.txt || fail "folder table: $(cat err.txt)"
[ ! -e folder_table.pdf ] || fail "a report over a folder table wrote a file"
run 1 --data empty_table --report inventory --pdf empty_table.pdf
grep -q "ITEMS.QVF is empty (0 bytes)" err.txt || fail "empty table: $(cat err.txt)"
[ -f empty_table/ITEMS.QVF ] && [ ! -s empty_table/ITEMS.QVF ] || fail "the empty ITEMS.QVF was replaced"
# The program itself keeps the halt's exit code, and says the same.
printf 'window SPLASH$WINDOW\nclick Continue\nwindow MAIN$APPFRAME\nmenu "Browse INVENTORY ITEMS"\nwait exit 0\n' > halt.script
run 0 --data empty_table --headless --script halt.script
grep -q "Invalid Quorvel File (53).  ITEMS.QVF is empty (0 bytes)" err.txt || fail "empty table in the program: $(cat err.txt)"
grep -q "\[Halt\] Disk Error" err.txt || fail "no halt: $(cat err.txt)"
[ ! -s empty_table/ITEMS.QVF ] || fail "the program replaced the empty ITEMS.QVF"
# A script that meets the halt before its end fails.
printf 'window SPLASH$WINDOW\nclick Continue\nwindow MAIN$APPFRAME\nmenu "Browse INVENTORY ITEMS"\nexpect caption INVENTORY\n' > unwaited.script
run 1 --data empty_table --headless --script unwaited.script
grep -q 'unwaited.script:5: the program halted ("Disk Error", exit code 0) before this command ran' err.txt ||
  fail "unwaited halt: $(cat err.txt)"

# --- An empty folder: reports print nothing and make no table
mkdir empty
for r in inventory insurance coverage; do
  run 1 --data empty --report $r --pdf empty.pdf
  grep -q "the report is empty" err.txt || fail "$r over an empty folder: $(cat err.txt)"
done
run 1 --data empty --report claimpack --claim 1 --pdf empty.pdf
grep -q "claim 1 is not on file" err.txt || fail "claim pack over an empty folder: $(cat err.txt)"
[ -z "$(ls -A empty)" ] || fail "reports over an empty folder made $(ls -A empty)"

# --- Tables that may only be read
check_readable() {
  folder=$1
  run 0 --data "$folder" --report inventory --pdf "ro-$folder.pdf"
  [ -s "ro-$folder.pdf" ] || fail "no report over $folder"
  run 0 --data "$folder" --report claimpack --claim 1 --pdf "ro-claim-$folder.pdf"
  run 0 --data "$folder" --backup "ro-$folder.tgz"
  grep -q "8 tables" out.txt || fail "backup over $folder: $(cat out.txt)"
}
mkdir ro
readonly_mount="read-only mount not checked (no tmpfs mount here)"
if mount -t tmpfs -o size=4m tmpfs ro 2>/dev/null; then
  mounted=ro
  cp data/*.QVF ro/
  mount -o remount,ro ro || fail "remount read-only"
  check_readable ro
  umount ro
  mounted=""
  readonly_mount="read-only mount checked"
fi
echo "read-only work: all checks held ($full, $readonly_mount)"
