#!/bin/sh
# Two program instances on one data folder: A saves an item that B deleted
# meanwhile with its location.
#   run_vanished_item.sh VORSANDT QVF DATA_DIR SCRIPT_A SCRIPT_B TABLE.csv ...
# Both scripts must hold, and A must have been told, besides the table the
# message names, that the record and its location Kitchen are gone.
. "$(dirname "$0")/../form/two_stations.sh"
two_stations "$@" || exit 1
data=$3
grep -q 'Probable Cause: ITEMS.  This ITEMS record is no longer on file: another station deleted it, with the LOCATIONS record "Kitchen" it belonged to, which is no longer on file either\.' "$data.a.err" ||
  { echo "FAIL: station A was not told the item went with its location"; exit 1; }
echo "vanished item: A was told"
