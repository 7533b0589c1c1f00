#!/bin/sh
# Two program instances on one data folder, each running its own script:
#   run_two_programs.sh VORSANDT QVF DATA_DIR SCRIPT_A SCRIPT_B TABLE.csv ...
# DATA_DIR is emptied and the tables imported into it; both programs start on
# it at once and take turns through signal files (wait-signal). Both scripts
# must hold; B's standard error must give the reason its save was refused,
# and the stored POLICY record must be the one A saved.
set -e
. "$(dirname "$0")/two_stations.sh"
two_stations "$@" || exit 1
qvf=$2
data=$3
grep -q "Probable Cause: Record Changed by Another Station\." "$data.b.err" ||
  { echo "station B was not told the record changed"; exit 1; }
stored=$(cd "$data" && "$qvf" export POLICY) || { echo "export failed"; exit 1; }
echo "--- stored POLICY"; echo "$stored"
echo "$stored" | grep -q '^PA,.*,FIRST,' || { echo "the stored record is not A's"; exit 1; }
if echo "$stored" | grep -q 'SECOND'; then echo "B's change was stored"; exit 1; fi
echo "the stored record is A's"
