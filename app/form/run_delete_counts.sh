#!/bin/sh
# Deletes a location of a household through the program twice, after
# counting with the storage tool what goes with it:
#   run_delete_counts.sh VORSANDT QVF DATA_DIR LOCATION CANCEL_SCRIPT OK_SCRIPT TABLE.csv ...
# DATA_DIR is emptied and the tables imported into it. The scripts' message
# expectations hold @ITEMS@, @SERVICE@ and @WARRANTY@, which become the
# numbers `qvf export` gives for LOCATION's items and their service and
# warranty records: the program's question must say exactly those. The
# first script answers Cancel, after which every table file must be byte for
# byte what it was; the second answers OK, after which `qvf export` must be
# short of exactly the records the question named, and no claim may be gone.
set -e
bin=$1
qvf=$2
data=$3
location=$4
cancel_script=$5
ok_script=$6
shift 6
rm -rf "$data" "$data.before"
mkdir -p "$data" "$data.before"
for csv in "$@"; do
  table=$(basename "$csv" .csv)
  (cd "$data" && "$qvf" import "$table" "$csv" >/dev/null) || { echo "import of $csv failed"; exit 3; }
done

# Column NAME (or columns NAME1 NAME2, tab-separated) of the CSV text on
# standard input; fields in double quotes may hold commas and doubled quotes.
columns() {
  awk -v a="$1" -v b="${2:-}" '
    function split_csv(line, f,   n, i, c, quoted, cur) {
      n = 0; cur = ""; quoted = 0
      for (i = 1; i <= length(line); i++) {
        c = substr(line, i, 1)
        if (quoted) {
          if (c == "\"" && substr(line, i + 1, 1) == "\"") { cur = cur c; i++ }
          else if (c == "\"") quoted = 0
          else cur = cur c
        } else if (c == "\"") quoted = 1
        else if (c == ",") { f[++n] = cur; cur = "" }
        else cur = cur c
      }
      f[++n] = cur
      return n
    }
    { sub(/\r$/, "") }
    NR == 1 {
      n = split_csv($0, h)
      for (i = 1; i <= n; i++) { if (h[i] == a) ca = i; if (h[i] == b) cb = i }
      if (!ca || (b != "" && !cb)) { print "no column " a " " b > "/dev/stderr"; exit 1 }
      next
    }
    { split_csv($0, f); if (b == "") print f[ca]; else print f[ca] "\t" f[cb] }'
}
export_of() { (cd "$data" && "$qvf" export "$1"); }
rows_of() { export_of "$1" | awk 'NR > 1' | wc -l | tr -d ' '; }
# Records of TABLE whose column COLUMN holds one of the item codes in $codes.
naming() { export_of "$1" | columns "$2" | grep -Fxc -f "$codes" || true; }

codes=$data.codes
export_of ITEMS | columns ITE:LOCATION ITE:ITEM_CODE |
  awk -F '\t' -v loc="$location" '$1 == loc { print $2 }' >"$codes"
items=$(wc -l <"$codes" | tr -d ' ')
service=$(naming SERVICE SER:ITEM_REFERENCE)
warranty=$(naming WARRANTY WAN:ITEM_REFERENCE)
claims=$(naming CLAIM CLA:ITEM_REFERENCE)
echo "qvf export: $location holds $items items with $service service and $warranty warranty records; $claims claims name them"
[ "$items" -gt 0 ] || { echo "no items at $location"; exit 3; }

for table in ITEMS SERVICE WARRANTY CLAIM LOCATIONS; do eval "before_$table=\$(rows_of $table)"; done
for script in "$cancel_script" "$ok_script"; do
  sed -e "s/@ITEMS@/$items/g" -e "s/@SERVICE@/$service/g" -e "s/@WARRANTY@/$warranty/g" \
    "$script" >"$data.$(basename "$script")"
done
cp -p "$data"/*.QVF "$data.before/"

rc=0
"$bin" --data "$data" --headless --script "$data.$(basename "$cancel_script")" || rc=$?
[ "$rc" = 0 ] || { echo "the Cancel script failed"; exit 1; }
for f in "$data.before"/*.QVF; do
  cmp "$f" "$data/$(basename "$f")" || { echo "Cancel changed $(basename "$f")"; exit 1; }
done
echo "after Cancel every table file is byte for byte as it was"

"$bin" --data "$data" --headless --script "$data.$(basename "$ok_script")" || rc=$?
[ "$rc" = 0 ] || { echo "the OK script failed"; exit 1; }
check() {
  eval "was=\$before_$1"
  now=$(rows_of "$1")
  [ $((was - now)) = "$2" ] || { echo "$1: $was records before, $now after; $2 were to go"; exit 1; }
}
check ITEMS "$items"
check SERVICE "$service"
check WARRANTY "$warranty"
check CLAIM 0
check LOCATIONS 1
echo "after OK exactly the records the question named are gone"
