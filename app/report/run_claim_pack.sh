#!/bin/sh
# The claim pack over tables made here:
#   run_claim_pack.sh VORSANDT QVF WORK_DIR SCRIPT
# From the command line (`--report claimpack --claim N --pdf FILE`): a claim
# with everything, whose PDF text must hold the claim's, item's, policy's and
# insurer's fields as worked out here from the CSV rows, and whose only
# picture is the item's photograph at its own size; claims whose photograph
# is missing or damaged (written, saying so); claims without an item or a
# policy, and one not on file (nothing written). Then SCRIPT presses the
# claim form's button in the program and answers the save dialog.
set -e
bin=$1
qvf=$2
work=$3
script=$4
rm -rf "$work"
mkdir -p "$work/data" "$work/tmp"
export TMPDIR="$work/tmp" VORSANDT_TODAY=2026-12-15
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }

# A 24-bit BMP of W x H pixels, its rows a grey ramp.
byte() { printf "\\$(printf '%03o' $(($1 % 256)))"; }
le16() { byte "$1"; byte $(($1 / 256)); }
le32() { le16 $(($1 % 65536)); le16 $(($1 / 65536)); }
bmp() {
  stride=$(( ($1 * 3 + 3) / 4 * 4 ))
  { printf BM; le32 $((54 + stride * $2)); le32 0; le32 54
    le32 40; le32 "$1"; le32 "$2"; le16 1; le16 24; le32 0; le32 $((stride * $2)); le32 2835
    le32 2835; le32 0; le32 0
    y=0; while [ $y -lt "$2" ]; do
      head -c "$stride" /dev/zero | tr '\0' "\\$(printf '%03o' $((40 + y * 4)))"; y=$((y + 1))
    done; } > "$3"
}
photo_w=64; photo_h=48
bmp $photo_w $photo_h data/kettle.bmp
echo "not a picture at all" > data/broken.jpg

# One row per table; field values the checks below reuse.
cat > INSURANCE_COMPANY.csv <<'CSV'
INS:REFERENCE,INS:COMPANY,INS:TELEPHONE,INS:FAX,INS:CONTACT,INS:ADDRESS_1,INS:ADDRESS_2,INS:ADDRESS_3,INS:ADDRESS_4
3,ROWAN MUTUAL,0161 555 0123,0161 555 0199,MARA QUILL,7 Ferry Lane,Saltcote,Norbury,NB4 2QT
CSV
cat > POLICY.csv <<'CSV'
POL:POLICY_REFERENCE,POL:INSURER_CODE,POL:INSURER,POL:START_INSURANCE,POL:POLICY_EXPIRES,POL:POLICY_TYPE,POL:NO_CLAIMS_BONUS,POL:EXCESS,POL:PREMIUM,POL:EXTRA_BENEFITS,POL:ACCIDENTAL_DAMAGE,POL:SINGLE_ITEM_LIMIT,POL:TOTAL_COVER
HC-7781,3,ROWAN MUTUAL,2026-02-01,2027-01-31,HOME CONTENTS,20,150.00,310.40,,1,2500.00,48000.00
LOST-1,9,GONE INSURANCE,2026-02-01,2027-01-31,HOME,0,0,0,,,0,0
CSV
cat > ITEMS.csv <<'CSV'
ITE:ITEM_CODE,ITE:POLICY_REFERENCE,ITE:ITEM,ITE:SERIAL_NUMBER,ITE:DATE_BOUGHT,ITE:PRICE_PAID,ITE:RECEIPT_REFERENCE,ITE:COPY_OF_RECIEPT,ITE:SUPPLIER,ITE:MANUFACTURER,ITE:SUPPLIERS_WARRANTY,ITE:MANUFACTURERS_WARRANTY,ITE:EXTENDED_WARRANTY,ITE:LOCATION,ITE:UV_MARKED,ITE:ETCHED,ITE:PHOTOGRAPHED,ITE:PICTURE,ITE:DESCRIPTION_OF_PICTURE
7,HC-7781,Copper kettle with whistle,KT-20931-B,2025-11-03,1289.95,R-5531,1,Hollin Stores,Brassworks,,,,Kitchen,0,0,1,kettle.bmp,front
8,HC-7781,Standing lamp,LMP-1,2024-01-09,80.00,R-1,1,Shop,Maker,,,,Hall,0,0,1,gone.png,
9,hc-7781,Radio,RD-1,2024-01-09,45.50,R-2,1,Shop,Maker,,,,Hall,0,0,1,broken.jpg,
10,NO-SUCH-POLICY,Clock,CL-1,2024-01-09,12.00,R-3,1,Shop,Maker,,,,Hall,0,0,0,,
11,LOST-1,Vase,VS-1,2024-01-09,30.00,R-4,1,Shop,Maker,,,,Hall,0,0,0,,
CSV
cat > CLAIM.csv <<'CSV'
CLA:CLAIM_REFERENCE,CLA:ITEM_REFERENCE,CLA:INSURERS_REFERENCE,CLA:POLICE_CRIME_REFERENCE,CLA:DATE_REPORTED_TO_POLICE,CLA:DATE_OF_CLAIM,CLA:CLAIM_STATUS,CLA:NOTES
41,7,RM-CLM-55102,CR/2026/8841,2026-11-28,2026-11-30,PENDING,Taken in a break-in through the back door on the night of 27 November; the loss adjuster visited on 2 December.
42,8,RM-2,,,2026-12-01,PENDING,
43,9,RM-3,,,2026-12-01,PENDING,
44,99,RM-4,,,2026-12-01,PENDING,
45,10,RM-5,,,2026-12-01,PENDING,
46,11,RM-6,,,2026-12-01,PENDING,
CSV
for table in INSURANCE_COMPANY POLICY ITEMS CLAIM; do
  (cd data && "$qvf" import $table ../$table.csv >/dev/null) || fail "import $table"
done

pack() { "$bin" --data data --report claimpack --claim "$1" --pdf "$2" 2>err.txt; }
# The value a CSV row holds in the named column.
field() { awk -F, -v key="$2" -v col="$3" 'NR == 1 { for (i = 1; i <= NF; i++) c[$i] = i; next }
  $1 == key { print $c[col] }' "$1.csv"; }
dmy() { date -ud "$1" +%-d/%m/%Y; }
money() { echo "$1" | awk -F. '{ s = $1; r = ""
  while (length(s) > 3) { r = "," substr(s, length(s) - 2) r; s = substr(s, 1, length(s) - 3) }
  print s r "." $2 }'; }
holds() { grep -qF -- "$2" "$1" || fail "$1 does not hold \"$2\""; }

# Everything on file.
pack 41 full.pdf || fail "claim 41: exit $? $(cat err.txt)"
grep -q "The claim pack was written to" err.txt || fail "claim 41: $(cat err.txt)"
pdftotext full.pdf full.txt
for col in CLA:INSURERS_REFERENCE CLA:POLICE_CRIME_REFERENCE CLA:CLAIM_STATUS; do
  holds full.txt "$(field CLAIM 41 $col)"
done
holds full.txt "$(dmy "$(field CLAIM 41 CLA:DATE_OF_CLAIM)")"
holds full.txt "$(dmy "$(field CLAIM 41 CLA:DATE_REPORTED_TO_POLICE)")"
holds full.txt "the night of 27 November"
holds full.txt "visited on 2 December."
for col in ITE:ITEM ITE:SERIAL_NUMBER ITE:RECEIPT_REFERENCE ITE:SUPPLIER; do
  holds full.txt "$(field ITEMS 7 $col)"
done
holds full.txt "$(money "$(field ITEMS 7 ITE:PRICE_PAID)")"
holds full.txt "$(dmy "$(field ITEMS 7 ITE:DATE_BOUGHT)")"
holds full.txt "$(field POLICY HC-7781 POL:POLICY_TYPE)"
holds full.txt "$(dmy "$(field POLICY HC-7781 POL:POLICY_EXPIRES)")"
holds full.txt "$(money "$(field POLICY HC-7781 POL:TOTAL_COVER)")"
holds full.txt "HC-7781"
for col in INS:COMPANY INS:CONTACT INS:TELEPHONE INS:FAX INS:ADDRESS_1 INS:ADDRESS_4; do
  holds full.txt "$(field INSURANCE_COMPANY 3 $col)"
done
pdfimages -list full.pdf | awk 'NR > 2 { print $4, $5 }' > images.txt
[ "$(cat images.txt)" = "$photo_w $photo_h" ] || fail "full.pdf images: $(cat images.txt)"

# The photograph missing, then damaged: written, and saying so.
for claim in 42 43; do
  pack $claim photo$claim.pdf || fail "claim $claim: exit $? $(cat err.txt)"
  holds err.txt "but without the photograph of the item"
  pdftotext photo$claim.pdf photo$claim.txt
  holds photo$claim.txt "THE PHOTOGRAPH IS MISSING"
  holds photo$claim.txt "$(field ITEMS $(field CLAIM $claim CLA:ITEM_REFERENCE) ITE:PICTURE)"
  [ "$(pdfimages -list photo$claim.pdf | awk 'NR > 2' | wc -l)" = 0 ] || fail "claim $claim: an image"
done
holds photo42.txt "does not exist"
# An insurer not on file: the name the policy holds, and why nothing more.
pack 46 lost.pdf || fail "claim 46: exit $? $(cat err.txt)"
pdftotext lost.pdf lost.txt
holds lost.txt "GONE INSURANCE"
holds lost.txt "(insurer code 9)"

# No item, no policy, no claim: nothing written, the reason said.
echo old > none.pdf
for case in "44:names no item" "45:insured under no policy" "404:is not on file"; do
  if pack "${case%%:*}" none.pdf; then fail "claim ${case%%:*} wrote a pack"; fi
  holds err.txt "${case#*:}"
  [ "$(cat none.pdf)" = old ] || fail "claim ${case%%:*} changed none.pdf"
done
# A file that cannot be written is said so.
if pack 41 missing-folder/pack.pdf; then fail "a pack in a missing folder"; fi
holds err.txt "could not be written to"
[ -z "$(ls data | grep part)" ] || fail "a part file was left"

# The claim form's button in the program.
"$bin" --data data --headless --script "$script" || fail "script: exit $?"
pdftotext data/form-pack.pdf form.txt
holds form.txt "$(field CLAIM 41 CLA:INSURERS_REFERENCE)"
holds form.txt "$(field INSURANCE_COMPANY 3 INS:CONTACT)"
[ "$(pdfimages -list data/form-pack.pdf | awk 'NR > 2 { print $4, $5 }')" = "$photo_w $photo_h" ] ||
  fail "form-pack.pdf: no photograph"
# The item's receipt, warranty and valuation follow the pack; its manual
# does not. The receipt is a PDF (the pack just written, with its
# photograph), the warranty card a PNG (its first page drawn by pdftoppm);
# one valuation's file is gone, the other's is neither a picture nor a PDF.
mkdir -p data/documents
cp full.pdf data/documents/receipt.pdf
pdftoppm -png -r 20 -f 1 -l 1 -singlefile full.pdf data/documents/warranty
# Its width and height, from the PNG header.
card=$(od -An -tu1 -j16 -N8 data/documents/warranty.png |
  awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4, $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }')
[ -n "$card" ] || fail "no warranty card made"
cp data/documents/receipt.pdf data/documents/manual.pdf
echo "valued at 1,300.00" > data/documents/notes.txt
cat > DOCUMENTS.csv <<'CSV'
DOC:DOCUMENT_REFERENCE,DOC:ITEM_REFERENCE,DOC:KIND,DOC:DESCRIPTION,DOC:DATE,DOC:FILE
1,7,RECEIPT,Till receipt,2025-11-03,receipt.pdf
2,7,MANUAL,Handbook,2025-11-03,manual.pdf
3,7,warranty,Warranty card,2025-11-04,warranty.png
4,7,VALUATION,Valuation 2026,2026-01-10,gone.pdf
5,8,RECEIPT,Lamp receipt,2024-01-09,receipt.pdf
6,7,VALUATION,Notes,2026-01-11,notes.txt
CSV
(cd data && "$qvf" import DOCUMENTS ../DOCUMENTS.csv >/dev/null) || fail "import DOCUMENTS"
pack 41 docs.pdf || fail "claim 41 with documents: exit $? $(cat err.txt)"
holds err.txt "but without 2 of the item's documents"
holds err.txt "documents/gone.pdf: the file is not in the documents folder;"
holds err.txt "documents/notes.txt: it is neither a picture the program can read nor a PDF."
pdftotext docs.pdf docs.txt
holds docs.txt "DOCUMENT 3 IS MISSING: VALUATION, Valuation 2026, 10/01/2026, documents/gone.pdf"
holds docs.txt "DOCUMENT 4 IS MISSING: VALUATION, Notes, 11/01/2026, documents/notes.txt"
before=$(pdfinfo full.pdf | awk '/^Pages:/ { print $2 }')
holds docs.txt "Document 1: RECEIPT, Till receipt, 3/11/2025, documents/receipt.pdf"
holds docs.txt "$before pages at the end of the pack"
holds docs.txt "neither a picture the program can read nor a PDF"
holds docs.txt "is not in the documents folder"
holds docs.txt "WARRANTY, Warranty card, 4/11/2025, documents/warranty.png"
grep -q "Handbook" docs.txt && fail "the manual is in the pack"
grep -q "Lamp receipt" docs.txt && fail "another item's receipt is in the pack"
pages() { pdfinfo "$1" | awk '/^Pages:/ { print $2 }'; }
before=$(pages full.pdf); after=$(pages docs.pdf); receipt=$(pages data/documents/receipt.pdf)
# The list of documents goes on the insurer's page or one more; then a page
# for the card and the receipt's own pages, copied as they are: its
# photograph comes along at its own size.
[ "$after" -ge $((before + 1 + receipt)) ] && [ "$after" -le $((before + 2 + receipt)) ] ||
  fail "docs.pdf has $after pages: the pack's $before, the card's 1, the receipt's $receipt"
pdfimages -list docs.pdf | awk 'NR > 2 { print $4, $5 }' > images.txt
[ "$(sed -n 1p images.txt)" = "$photo_w $photo_h" ] || fail "docs.pdf photograph: $(cat images.txt)"
[ "$(sed -n 2p images.txt)" = "$card" ] || fail "docs.pdf warranty card: $(cat images.txt), not $card"
[ "$(sed -n 3p images.txt)" = "$photo_w $photo_h" ] || fail "docs.pdf receipt: $(cat images.txt)"
[ "$(wc -l < images.txt)" = 3 ] || fail "docs.pdf images: $(cat images.txt)"
# A receipt that is no PDF after all: named, the pack written without it.
echo "%PDF-1.4 torn off" > data/documents/receipt.pdf
pack 41 torn.pdf || fail "claim 41 with a damaged receipt: exit $? $(cat err.txt)"
holds err.txt "documents/receipt.pdf: the PDF cannot be read"
pdftotext torn.pdf torn.txt
holds torn.txt "DOCUMENT 1 IS MISSING: RECEIPT, Till receipt"
[ "$(pages torn.pdf)" -le $((before + 2)) ] || fail "torn.pdf has $(pages torn.pdf) pages"

echo "claim pack: all checks held"
