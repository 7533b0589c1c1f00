#!/usr/bin/env bash
# Loads the sample household (resources/sample-data/*.csv) into a data folder.
#
#   scripts/load-sample-data.sh QVF_BINARY DATA_FOLDER
#
# `make sample-data` runs it for the `run/` folder that `make run` uses. It
# only loads into a folder without tables: sample records added to a user's
# own tables could not be told apart from theirs afterwards. Each table is
# imported in one transaction, so a table is either loaded whole or not at all.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 QVF_BINARY DATA_FOLDER" >&2
  exit 2
fi
qvf=$(realpath "$1")
data=$2
here=$(cd "$(dirname "$0")/.." && pwd)
samples="$here/resources/sample-data"
tables=(COMPANIES SERVICE WARRANTY CLAIM LOCATIONS ITEMS INSURANCE_COMPANY POLICY)

mkdir -p "$data"
for t in "${tables[@]}"; do
  if [ -e "$data/$t.QVF" ]; then
    echo "$data already holds tables ($t.QVF); the sample data goes only into a folder without them." >&2
    echo "Move $data/*.QVF elsewhere first if you want the sample household instead." >&2
    exit 1
  fi
done

loaded=()
for t in "${tables[@]}"; do
  if ! (cd "$data" && "$qvf" import "$t" "$samples/$t.csv"); then
    echo "loading $t failed; removing the tables loaded so far" >&2
    for done_table in "${loaded[@]}" "$t"; do rm -f "$data/$done_table.QVF"; done
    exit 1
  fi
  loaded+=("$t")
  rows=$(($(wc -l < "$samples/$t.csv") - 1))
  printf '%-18s %4d records\n' "$t" "$rows"
done
echo "The sample household is in $data."
