#!/bin/sh
# Runs a list-window script over tables made from CSV files:
#   run_list_script.sh VORSANDT QVF DATA_DIR SCRIPT [TABLE.csv ...]
# DATA_DIR is emptied first; each CSV is imported into the table it names.
# With UNCHANGED=1 in the environment, the table files the import made must
# come out of the run byte for byte as they went in. With
# EXPECT_IN_EXPORT=TABLE:TEXT, the table's export after the run must hold TEXT.
set -e
bin=$1
qvf=$2
data=$3
script=$4
shift 4
rm -rf "$data"
mkdir -p "$data"
for csv in "$@"; do
  table=$(basename "$csv" .csv)
  (cd "$data" && "$qvf" import "$table" "$csv" >/dev/null) || { echo "import of $csv failed"; exit 3; }
done
before=$(cd "$data" && cksum ./*.QVF 2>/dev/null || true)
rc=0
"$bin" --data "$data" --headless --script "$script" || rc=$?
if [ "${UNCHANGED:-0}" = 1 ]; then
  after=$(cd "$data" && for f in $(echo "$before" | awk '{print $3}'); do cksum "$f"; done)
  if [ "$before" != "$after" ]; then
    echo "the tables were written:"
    echo "before: $before"
    echo "after: $after"
    exit 4
  fi
  echo "the tables are unchanged"
fi
if [ -n "${EXPECT_IN_EXPORT:-}" ]; then
  table=${EXPECT_IN_EXPORT%%:*}
  text=${EXPECT_IN_EXPORT#*:}
  if ! (cd "$data" && "$qvf" export "$table") | grep -qF "$text"; then
    echo "the export of $table does not hold \"$text\""
    exit 5
  fi
  echo "the export of $table holds \"$text\""
fi
exit $rc
