#!/bin/sh
# The backup and restore of the program's command line over real tables.
#
#   run_backup_test.sh CASE VORSANDT QVF WRITER WORK ITEMS.csv POLICY.csv
#
# while-saving  backups taken while another process keeps saving known
#               states (WRITER) each restore to tables that pass the check
#               and hold one of those states: one generation in every
#               record of ITEMS and POLICY
# damaged       an archive with a byte changed, one cut short, and one whose
#               table fails the check (its list made to match) are refused
#               by name, and nothing is written into the folder
# not-empty     a folder that holds tables is refused without --replace, and
#               with it while another program has one open, and replaced
#               with it once nothing holds them
# pictures      the pictures the items name come back beside the tables (a
#               full path under restored-pictures/); one that is missing is
#               named by the backup
# wrong-table   an archive whose tables/ITEMS.QVF holds the LOCATIONS table,
#               or is empty, is refused by the member's name before anything
#               is written, also with --replace over real tables
# hostile-pictures  picture names leading to /dev/zero, a pipe and a folder
#               are left out and named as not regular files, one of 300 MB as
#               too large; the backup ends at once with little memory and
#               leaves no temporary file
# declared-size a small archive declaring a member of 4 GiB, or of 1.5 GiB,
#               is refused at once with little memory
# symlinks      links already in the data folder (a picture's name, a folder
#               on a picture's way) are never written through
# modes         a picture readable by its owner and group only comes back so,
#               and the backup names it as taken from outside the data folder
set -u
case=$1 vorsandt=$2 qvf=$3 writer=$4 work=$5 items=$6 policy=$7

fail() { echo "FAILED: $*"; exit 1; }

rm -rf "$work" && mkdir -p "$work/data" || fail "cannot make $work"
(cd "$work/data" && "$qvf" import ITEMS "$items" && "$qvf" import POLICY "$policy") >/dev/null ||
  fail "the tables could not be made"

# The one generation GEN n of every record of ITEMS and POLICY in FOLDER.
generation() {
  (cd "$1" && "$qvf" export ITEMS && "$qvf" export POLICY) | grep -o 'GEN [0-9]*' | sort -u
}

# pictures_named NAME...: ITEMS made again, item N naming the Nth NAME as its
# picture ("-" for none).
pictures_named() {
  awk -v names="$*" 'BEGIN { FS = OFS = ","; n = split(names, p, " ") }
    NR > 1 && NR - 1 <= n && p[NR - 1] != "-" { sub(/,,\r?$/, "," p[NR - 1] ",picture " NR) }
    { print }' "$items" >"$work/items.csv"
  rm "$work/data/ITEMS.QVF"
  (cd "$work/data" && "$qvf" import ITEMS "$work/items.csv") >/dev/null || fail "ITEMS with pictures"
}

# Every table of FOLDER passes the check.
all_checked() {
  for f in "$1"/*.QVF; do
    "$qvf" check "$f" >/dev/null || fail "$f fails the check after the restore"
  done
}

case $case in
while-saving)
  "$writer" "$work/data" "$work/ready" "$work/stop" >"$work/writer.out" 2>&1 &
  pid=$!
  n=0
  while [ ! -e "$work/ready" ]; do
    n=$((n + 1))
    [ $n -lt 600 ] || { kill $pid; fail "the writer did not save"; }
    sleep 0.05
  done
  for i in 1 2 3 4 5 6; do
    "$vorsandt" --data "$work/data" --backup "$work/b$i.tar.gz" >/dev/null ||
      { touch "$work/stop"; wait $pid; fail "backup $i failed"; }
    sleep 0.1
  done
  touch "$work/stop"
  wait $pid || fail "the writer failed: $(cat "$work/writer.out")"
  seen=""
  for i in 1 2 3 4 5 6; do
    "$vorsandt" --data "$work/r$i" --restore "$work/b$i.tar.gz" >/dev/null ||
      fail "restore $i failed"
    all_checked "$work/r$i"
    gens=$(generation "$work/r$i")
    [ "$(echo "$gens" | wc -l)" -eq 1 ] && [ -n "$gens" ] ||
      fail "backup $i holds a torn state: $(echo $gens)"
    seen="$seen ${gens#GEN }"
  done
  echo "generations restored:$seen; $(cat "$work/writer.out")"
  ;;
damaged)
  "$vorsandt" --data "$work/data" --backup "$work/good.tar.gz" >/dev/null || fail "backup failed"
  size=$(wc -c <"$work/good.tar.gz")
  head -c $((size / 2)) "$work/good.tar.gz" >"$work/cut.tar.gz"
  cp "$work/good.tar.gz" "$work/changed.tar.gz"
  printf '\125' | dd of="$work/changed.tar.gz" bs=1 seek=$((size * 2 / 3)) conv=notrunc 2>/dev/null
  # A table that fails the check, packed again by another tool with a list
  # that matches it: only the check can tell.
  mkdir "$work/x" && (cd "$work/x" && tar xzf ../good.tar.gz &&
    printf 'XXXXXXXXXXXXXXXX' | dd of=tables/ITEMS.QVF bs=1 seek=3000 conv=notrunc 2>/dev/null &&
    crc=$(gzip -c tables/ITEMS.QVF | tail -c 8 | od -An -tx4 -N4 | tr -d ' ') &&
    awk -v crc="$crc" 'BEGIN { FS = OFS = "\t" } $2 == "tables/ITEMS.QVF" { $4 = crc } { print }' \
      VORSANDT-BACKUP.txt >list && mv list VORSANDT-BACKUP.txt &&
    tar czf ../table.tar.gz tables VORSANDT-BACKUP.txt) || fail "cannot pack the damaged table"
  for bad in cut changed table; do
    out=$("$vorsandt" --data "$work/r-$bad" --restore "$work/$bad.tar.gz" 2>&1) &&
      fail "the $bad archive was restored"
    [ ! -e "$work/r-$bad" ] || fail "the $bad archive wrote into its folder"
    echo "$bad: $out"
  done
  ;;
not-empty)
  "$vorsandt" --data "$work/data" --backup "$work/b.tar.gz" >/dev/null || fail "backup failed"
  # ITEMS made again with its first ten items only.
  head -n 11 "$items" >"$work/ten.csv"
  rm "$work/data/ITEMS.QVF"
  (cd "$work/data" && "$qvf" import ITEMS "$work/ten.csv") >/dev/null || fail "second import failed"
  before=$(cd "$work/data" && "$qvf" export ITEMS | wc -l)
  out=$("$vorsandt" --data "$work/data" --restore "$work/b.tar.gz" 2>&1) &&
    fail "tables were replaced without --replace"
  [ "$(cd "$work/data" && "$qvf" export ITEMS | wc -l)" -eq "$before" ] ||
    fail "the refused restore changed ITEMS"
  echo "$out"
  # Another program with a table open keeps even --replace out.
  sleep 30 <"$work/data/ITEMS.QVF" &
  holder=$!
  out=$("$vorsandt" --data "$work/data" --restore "$work/b.tar.gz" --replace 2>&1)
  status=$?
  kill $holder
  [ $status -ne 0 ] || fail "tables another program has open were replaced"
  echo "$out" | grep -q "ITEMS is open in another program (process $holder)" ||
    fail "the refusal did not name the table and the program: $out"
  echo "$out"
  "$vorsandt" --data "$work/data" --restore "$work/b.tar.gz" --replace || fail "--replace failed"
  all_checked "$work/data"
  after=$(cd "$work/data" && "$qvf" export ITEMS | wc -l)
  [ "$after" -gt "$before" ] || fail "ITEMS was not replaced ($before rows before, $after after)"
  ;;
pictures)
  # Item 1 names a picture beside the tables, item 2 one by its full path,
  # item 3 one that is not there.
  printf 'picture one' >"$work/data/TV.PNG"
  # The picture field holds 41 characters: a short folder of its own.
  elsewhere=$(mktemp -d /tmp/vbk.XXXXXX) || fail "no folder for the picture"
  trap 'rm -rf "$elsewhere"' EXIT
  full=$elsewhere/BAR.PNG
  printf 'picture two' >"$full"
  pictures_named TV.PNG "$full" GONE.PNG
  out=$("$vorsandt" --data "$work/data" --backup "$work/p.tar.gz") || fail "backup failed"
  echo "$out"
  echo "$out" | grep -q "2 pictures (1 picture the items name could not be read: GONE.PNG)" ||
    fail "the backup did not name its pictures"
  "$vorsandt" --data "$work/r" --restore "$work/p.tar.gz" || fail "restore failed"
  cmp "$work/r/TV.PNG" "$work/data/TV.PNG" || fail "TV.PNG did not come back"
  cmp "$work/r/restored-pictures$full" "$full" || fail "$full did not come back"
  ;;
wrong-table)
  "$vorsandt" --data "$work/data" --backup "$work/good.tar.gz" >/dev/null || fail "backup failed"
  # Packed again by another tool with a list that matches: only the check
  # of which table a member holds can tell.
  repack() { # NAME: tables/ITEMS.QVF as x/ITEMS.QVF stands, the list made to match
    (cd "$work/x" &&
      size=$(wc -c <tables/ITEMS.QVF) &&
      crc=$(python3 -c 'import sys, zlib; print("%08x" % zlib.crc32(open(sys.argv[1], "rb").read()))' tables/ITEMS.QVF) &&
      awk -v crc="$crc" -v size="$size" 'BEGIN { FS = OFS = "\t" }
        $2 == "tables/ITEMS.QVF" { $3 = size; $4 = crc } { print }' VORSANDT-BACKUP.txt >list &&
      mv list VORSANDT-BACKUP.txt && tar czf "../$1.tar.gz" tables VORSANDT-BACKUP.txt) ||
      fail "cannot pack $1"
  }
  mkdir "$work/x" && (cd "$work/x" && tar xzf ../good.tar.gz) || fail "cannot unpack"
  printf 'LOC:LOCATION\nHall\nLoft\n' >"$work/loc.csv"
  mkdir "$work/l" && (cd "$work/l" && "$qvf" import LOCATIONS "$work/loc.csv") >/dev/null ||
    fail "cannot make LOCATIONS"
  cp "$work/l/LOCATIONS.QVF" "$work/x/tables/ITEMS.QVF" && repack swapped
  : >"$work/x/tables/ITEMS.QVF" && repack empty
  before=$(cd "$work/data" && "$qvf" export ITEMS | md5sum)
  for bad in swapped empty; do
    out=$("$vorsandt" --data "$work/r-$bad" --restore "$work/$bad.tar.gz" 2>&1) &&
      fail "the $bad archive was restored: $out"
    [ ! -e "$work/r-$bad" ] || fail "the $bad archive wrote into its folder"
    echo "$out" | grep -q "ITEMS" || fail "the refusal does not name ITEMS: $out"
    echo "$bad: $out"
    out=$("$vorsandt" --data "$work/data" --restore "$work/$bad.tar.gz" --replace 2>&1) &&
      fail "the $bad archive replaced real tables: $out"
    [ "$(cd "$work/data" && "$qvf" export ITEMS | md5sum)" = "$before" ] ||
      fail "the refused $bad archive changed ITEMS"
  done
  ;;
hostile-pictures)
  mkfifo "$work/data/pipe.png" && mkdir "$work/data/folder.png" || fail "cannot make the pictures"
  printf 'picture one' >"$work/data/TV.PNG"
  truncate -s 300M "$work/data/big.png" || fail "cannot make the large picture"
  pictures_named /dev/zero pipe.png folder.png TV.PNG big.png
  out=$(ulimit -v 1048576; timeout -k 2 20 "$vorsandt" --data "$work/data" --backup "$work/h.tgz" 2>&1)
  status=$?
  echo "$out"
  [ $status -eq 0 ] || fail "the backup ended with $status"
  ls "$work" | grep -q '^h\.tgz\.~' && fail "the backup left its temporary file"
  for name in /dev/zero pipe.png folder.png; do
    echo "$out" | grep -q "$name (not a regular file)" || fail "$name is not named as left out"
  done
  echo "$out" | grep -q "big.png (larger than 256 MB)" || fail "big.png is not named as left out"
  echo "$out" | grep -q "tables and 1 picture (4 pictures" || fail "TV.PNG was not backed up"
  "$vorsandt" --data "$work/r" --restore "$work/h.tgz" >/dev/null || fail "restore failed"
  cmp "$work/r/TV.PNG" "$work/data/TV.PNG" || fail "TV.PNG did not come back"
  ;;
declared-size)
  for gib in 4 1.5; do
    python3 - "$work/big.tar.gz" "$gib" <<'PY' || fail "cannot make the archive"
import gzip, io, sys, tarfile
info = tarfile.TarInfo("tables/ITEMS.QVF")
info.size = int(float(sys.argv[2]) * (1 << 30))
raw = io.BytesIO()
raw.write(info.tobuf(format=tarfile.USTAR_FORMAT))
with gzip.open(sys.argv[1], "wb") as out:
    out.write(raw.getvalue())
PY
    start=$(date +%s)
    out=$(ulimit -v 1048576; timeout -k 2 20 "$vorsandt" --data "$work/r-big" --restore "$work/big.tar.gz" 2>&1)
    status=$?
    echo "$gib GiB ($(wc -c <"$work/big.tar.gz") bytes): exit $status: $out"
    [ $status -eq 1 ] || fail "the archive declaring $gib GiB ended with $status"
    [ $(($(date +%s) - start)) -le 10 ] || fail "the archive declaring $gib GiB took too long"
    echo "$out" | grep -q "tables/ITEMS.QVF" || fail "the refusal does not name the member"
    [ ! -e "$work/r-big" ] || fail "the refused archive wrote into its folder"
  done
  ;;
symlinks)
  mkdir -p "$work/data/sub" && printf 'photo' >"$work/data/photo.jpg" &&
    printf 'inner' >"$work/data/sub/x.jpg" || fail "cannot make the pictures"
  pictures_named photo.jpg sub/x.jpg
  "$vorsandt" --data "$work/data" --backup "$work/s.tgz" >/dev/null || fail "backup failed"
  victim=$(mktemp -d /tmp/vbk-victim.XXXXXX) || fail "no victim folder"
  trap 'rm -rf "$victim"' EXIT
  printf 'victim' >"$victim/file" && mkdir "$victim/dir"
  # A link where a picture goes, then a link where a picture's folder is.
  for kind in file folder; do
    rm -rf "$work/t" && mkdir "$work/t" || fail "no folder"
    if [ $kind = file ]; then
      ln -s "$victim/file" "$work/t/photo.jpg"
    else
      ln -s "$victim/dir" "$work/t/sub"
    fi
    out=$("$vorsandt" --data "$work/t" --restore "$work/s.tgz" 2>&1) &&
      fail "restored through a link to a $kind: $out"
    echo "$kind: $out"
    echo "$out" | grep -q "symbolic link" || fail "the refusal does not say why: $out"
    [ "$(cat "$victim/file")" = victim ] || fail "the file a link names was overwritten"
    [ -z "$(ls "$victim/dir")" ] || fail "a file was written into the folder a link names"
    ls "$work/t" | grep -q QVF && fail "tables were restored although the restore was refused"
  done
  ;;
modes)
  elsewhere=$(mktemp -d /tmp/vbk.XXXXXX) || fail "no folder for the picture"
  trap 'rm -rf "$elsewhere"' EXIT
  full=$elsewhere/KEY.PNG
  printf 'secret' >"$full" && chmod 0640 "$full"
  pictures_named "$full"
  out=$("$vorsandt" --data "$work/data" --backup "$work/m.tgz") || fail "backup failed"
  echo "$out"
  echo "$out" | grep -q "1 picture from outside the data folder: $full" ||
    fail "the backup does not name the picture it took from outside the data folder"
  (umask 022 && "$vorsandt" --data "$work/r" --restore "$work/m.tgz") || fail "restore failed"
  mode=$(stat -c %a "$work/r/restored-pictures$full")
  [ "$mode" = 640 ] || fail "the picture came back with mode $mode, not 640"
  ;;
*)
  fail "no case $case"
  ;;
esac
echo PASSED
