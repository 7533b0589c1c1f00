#!/bin/sh
# The query program's window on the headless platform over the sample
# household, and the checks no script can make itself: the rows exported are
# those an independent reading of the sample CSV files finds, and no table
# file changed.
#
#   run_query_scripts.sh MORVAK QVF WORK_FOLDER SCRIPT_FOLDER SAMPLE_FOLDER
set -eu
morvak=$1 qvf=$2 work=$3 scripts=$4 samples=$5
fail() { echo "FAIL: $*"; exit 1; }

rm -rf "$work"
mkdir -p "$work/sample" "$work/damaged"
for t in LOCATIONS ITEMS POLICY INSURANCE_COMPANY CLAIM; do
  (cd "$work/sample" && "$qvf" import "$t" "$samples/$t.csv" >/dev/null)
done
printf 'table ITEMS\njoin NOWHERE\n' > "$work/sample/damaged.qry"
(cd "$work/sample" && cksum *.QVF) > "$work/tables-before"

"$morvak" --data "$work/sample" --headless --script "$scripts/items_by_location.script"
"$morvak" --data "$work/sample" --headless --script "$scripts/query_errors.script"
# Saved above with the user's own filter, opened and run at start.
"$morvak" --data "$work/sample" --open "Kitchen or garage" --headless \
  --script "$scripts/opened_at_start.script"
"$morvak" --data "$work/sample" --headless --script "$scripts/export_whole_tables.script"
for pair in ITEMS:items.csv CLAIM:claims.csv; do
  t=${pair%%:*} file=${pair#*:}
  (cd "$work/sample" && "$qvf" export "$t" | cmp -s - "$file") || fail "$file is not what qvf export $t writes"
done
(cd "$work/sample" && cksum *.QVF) | cmp -s - "$work/tables-before" || fail "a table file changed"
[ ! -e "$work/sample/SERVICE.QVF" ] || fail "the query made SERVICE.QVF"

# Fields of a CSV line (quotes doubled inside quoted fields) into f[1..n].
csv='function fields(line,   n, i, c, q, v) {
  sub(/\r$/, "", line); n = 0; v = ""; q = 0
  for (i = 1; i <= length(line); i++) {
    c = substr(line, i, 1)
    if (q && c == "\"" && substr(line, i + 1, 1) == "\"") { v = v c; i++ }
    else if (c == "\"") q = !q
    else if (c == "," && !q) { f[++n] = v; v = "" }
    else v = v c
  }
  f[++n] = v
  return n
}
function trim(s) { sub(/^ +/, "", s); sub(/ +$/, "", s); return toupper(s) }'

# The sample's items in the kitchen or a garage, costing 50 to 500, whose
# location is one of LOCATIONS.
awk "$csv"'
  FNR == 1 { next }
  FILENAME ~ /LOCATIONS/ { fields($0); known[trim(f[1])] = 1; next }
  { fields($0); loc = trim(f[14]); price = f[6] + 0
    if ((loc in known) && (loc == "KITCHEN" || loc ~ /^GARAGE/) && price >= 50 && price <= 500)
      print f[1] }' "$samples/LOCATIONS.csv" "$samples/ITEMS.csv" | sort -n > "$work/wanted"
awk "$csv"'
  NR == 1 { next }
  { n = fields($0); print f[1]
    if (trim(f[14]) != trim(f[n])) print "item " f[1] " joined to location " f[n] > "/dev/stderr" }' \
  "$work/sample/result.csv" > "$work/got-in-order" 2> "$work/join-errors"
sort -n "$work/got-in-order" > "$work/got"
[ ! -s "$work/join-errors" ] || fail "$(cat "$work/join-errors")"
[ -s "$work/wanted" ] || fail "the sample data has no such items"
cmp -s "$work/wanted" "$work/got" || fail "the rows differ from the sample's: $(diff "$work/wanted" "$work/got" | head -5)"
counted=$(grep -o 'Records "[0-9]* records"' "$scripts/items_by_location.script" | head -1 | tr -dc 0-9)
[ "$counted" = "$(wc -l < "$work/wanted" | tr -d ' ')" ] || fail "the script counts $counted rows"
# In the order of ITE:LOC: every garage before the kitchen.
awk "$csv"'NR > 1 { fields($0); print trim(f[14]) }' "$work/sample/result.csv" | sort -c \
  || fail "the rows are not in location order"

# A table file that is no table is reported.
head -c 4096 /dev/urandom > "$work/damaged/ITEMS.QVF"
cksum "$work/damaged/ITEMS.QVF" > "$work/damaged-before"
"$morvak" --data "$work/damaged" --headless --script "$scripts/damaged_table.script"
cksum "$work/damaged/ITEMS.QVF" | cmp -s - "$work/damaged-before" || fail "the damaged table changed"
# A table damaged inside: never rows from the damage, and the file is left as
# it is.
mkdir -p "$work/broken"
cp "$work/sample/ITEMS.QVF" "$work/sample/LOCATIONS.QVF" "$work/broken/"
size=$(wc -c < "$work/broken/ITEMS.QVF")
dd if=/dev/zero of="$work/broken/ITEMS.QVF" bs=1 seek=$((size / 2)) count=4096 conv=notrunc 2>/dev/null
cksum "$work/broken/ITEMS.QVF" > "$work/broken-before"
"$morvak" --data "$work/broken" --headless --script "$scripts/damaged_inside.script" \
  > "$work/broken.out" 2>&1 || true
grep -q "Internal error : qvfbt\|\[Record Retrieval Error\] .*ITEMS" "$work/broken.out" ||
  fail "the damage inside ITEMS went unreported: $(cat "$work/broken.out")"
cksum "$work/broken/ITEMS.QVF" | cmp -s - "$work/broken-before" || fail "the damaged table changed"
# Saved queries that are no files, opened at start: a FIFO nobody writes to
# and a link to an endless device are refused by name at once, never waited
# on nor read without end.
mkdir -p "$work/odd"
cp "$work/sample/"*.QVF "$work/odd/"
mkfifo "$work/odd/endless.qry"
ln -s /dev/zero "$work/odd/zeros.qry"
for name in endless zeros; do
  printf '%s\n' 'window QUERYBYEXAMPLE$WINDOW' \
    "expect text ?Status \"The query $name could not be opened: cannot read $name.qry: not a regular file.\"" \
    > "$work/odd/$name.script"
  timeout 20 "$morvak" --data "$work/odd" --open "$name" --headless --script "$work/odd/$name.script" \
    > "$work/odd/$name.out" 2>&1 || fail "morvak --open $name: exit $?: $(head -c 400 "$work/odd/$name.out")"
done
echo "query checks passed: $(wc -l < "$work/wanted" | tr -d ' ') rows as the sample data has them"
