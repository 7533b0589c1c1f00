#!/bin/sh
# Runs the documents script over tables made from CSV files and then checks
# the data folder as the script left it:
#   run_documents.sh VORSANDT QVF DATA_DIR SCRIPT TABLE.csv ...
# The script chooses scans/Receipt: shop.pdf and other/Receipt: shop.pdf
# (made here, of different bytes), a folder and a file that is not there.
# Afterwards both files must be in documents/.deleted byte for byte, nothing
# may be left in documents/ (no part of a copy either), and DOCUMENTS must
# hold no record. Then a backup of the folder, restored into a new one, must
# bring the documents folder back byte for byte.
set -e
bin=$1
qvf=$2
data=$3
script=$4
shift 4
rm -rf "$data"
mkdir -p "$data/scans/folder.pdf" "$data/other"
for csv in "$@"; do
  table=$(basename "$csv" .csv)
  (cd "$data" && "$qvf" import "$table" "$csv" >/dev/null) || { echo "import of $csv failed"; exit 3; }
done
printf '%%PDF-1.4 a receipt\n' >"$data/scans/Receipt: shop.pdf"
head -c 3000000 /dev/urandom >>"$data/scans/Receipt: shop.pdf"
printf 'a warranty card\n' >"$data/other/Receipt: shop.pdf"
"$bin" --data "$data" --headless --script "$script"
fail() { echo "FAIL: $*"; exit 1; }
cmp "$data/scans/Receipt: shop.pdf" "$data/documents/.deleted/Receipt_ shop.pdf" ||
  fail "the receipt is not in documents/.deleted as it was chosen"
cmp "$data/other/Receipt: shop.pdf" "$data/documents/.deleted/Receipt_ shop-2.pdf" ||
  fail "the warranty card is not in documents/.deleted as it was chosen"
left=$(cd "$data/documents" && ls -A | grep -v '^\.deleted$' || true)
[ -z "$left" ] || fail "left in documents/: $left"
(cd "$data" && "$qvf" export DOCUMENTS) >"$data.export" || fail "DOCUMENTS cannot be exported"
head -n1 "$data.export" | grep -q '^DOC:DOCUMENT_REFERENCE,' || fail "DOCUMENTS exported no header"
rows=$(awk 'NR > 1' "$data.export" | wc -l | tr -d ' ')
[ "$rows" = 0 ] || fail "DOCUMENTS holds $rows records"
echo "documents: copied whole, put aside on delete, nothing left behind"
rm -rf "$data.tar.gz" "$data.restored"
said=$("$bin" --data "$data" --backup "$data.tar.gz" 2>&1) || fail "the backup failed: $said"
echo "$said" | grep -q "2 documents" || fail "the backup does not count the two documents: $said"
said=$("$bin" --data "$data.restored" --restore "$data.tar.gz" 2>&1) || fail "the restore failed: $said"
echo "$said" | grep -q "2 documents" || fail "the restore does not count the two documents: $said"
for f in "Receipt_ shop.pdf" "Receipt_ shop-2.pdf"; do
  cmp "$data/documents/.deleted/$f" "$data.restored/documents/.deleted/$f" ||
    fail "documents/.deleted/$f did not come back from the backup as it was"
done
echo "documents: backed up and restored byte for byte"
