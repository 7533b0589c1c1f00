#!/bin/sh
# The coverage check from the command line over generated tables:
#   run_coverage_pdf.sh VORSANDT QVF WORK_DIR
# 402 items spread over six policies, no policy and a policy that does not
# exist; the figures the PDF must hold are worked out here from the CSV
# files, apart from the program: per policy the count, value, cover and
# shortfall (or "not stated"/"none"), the items above its single-item limit,
# the expiry remark against a fixed today (day counts by date(1)); the
# uninsured items and their value; the items lacking a photograph or a
# receipt copy. The tables are checked unchanged afterwards.
set -e
bin=$1
qvf=$2
work=$3
rm -rf "$work"
mkdir -p "$work/data" "$work/tmp"
export TMPDIR="$work/tmp"
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }

today=2026-06-15
days() { echo $(( ($(date -ud "$1" +%s) - $(date -ud "$today" +%s)) / 86400 )); }

# Policies: reference, insurer code, insurer name, start, expiry, limit, cover.
cat > policies.txt <<EOF
P1 1 ALDER_MUTUAL 2025-06-01 2026-06-01 900.00 10000.00
P2 1 ALDER_MUTUAL 2025-06-20 2026-06-20 950.00 100000.00
P3 2 BIRCH_GENERAL 2025-07-15 2026-07-15 0 0
P4 2 BIRCH_GENERAL 2025-07-16 2026-07-16 990.00 5000.00
P5 1 ALDER_MUTUAL 2026-01-01 2027-01-01 800.00 25000.00
P6 9 CEDAR_LLOYDS 2025-06-14 2026-06-14 0 1.00
EOF
awk 'BEGIN {
  print "INS:REFERENCE,INS:COMPANY,INS:TELEPHONE,INS:FAX,INS:CONTACT,INS:ADDRESS_1,INS:ADDRESS_2,INS:ADDRESS_3,INS:ADDRESS_4" > "INSURANCE_COMPANY.csv"
  print "1,ALDER MUTUAL,0100,0101,ANN,L1,L2,L3,L4" > "INSURANCE_COMPANY.csv"
  print "2,BIRCH GENERAL,0200,0201,BOB,L1,L2,L3,L4" > "INSURANCE_COMPANY.csv"
  print "POL:POLICY_REFERENCE,POL:INSURER_CODE,POL:INSURER,POL:START_INSURANCE,POL:POLICY_EXPIRES,POL:POLICY_TYPE,POL:NO_CLAIMS_BONUS,POL:EXCESS,POL:PREMIUM,POL:EXTRA_BENEFITS,POL:ACCIDENTAL_DAMAGE,POL:SINGLE_ITEM_LIMIT,POL:TOTAL_COVER" > "POLICY.csv"
}
{ name = $3; gsub("_", " ", name)
  # The name the policy holds is not the insurer'\''s, except for code 9,
  # which names no insurer: the report must take the name by the code.
  if ($2 != 9) name = "STALE NAME"
  printf "%s,%s,%s,%s,%s,HOME,10,50.00,100.00,,,%s,%s\n", $1, $2, name, $4, $5, $6, $7 > "POLICY.csv" }' policies.txt
awk 'BEGIN {
  print "ITE:ITEM_CODE,ITE:POLICY_REFERENCE,ITE:ITEM,ITE:SERIAL_NUMBER,ITE:DATE_BOUGHT,ITE:PRICE_PAID,ITE:RECEIPT_REFERENCE,ITE:COPY_OF_RECIEPT,ITE:SUPPLIER,ITE:MANUFACTURER,ITE:SUPPLIERS_WARRANTY,ITE:MANUFACTURERS_WARRANTY,ITE:EXTENDED_WARRANTY,ITE:LOCATION,ITE:UV_MARKED,ITE:ETCHED,ITE:PHOTOGRAPHED,ITE:PICTURE,ITE:DESCRIPTION_OF_PICTURE"
  split("P1 P2 P3 P4 P5 P6 - NOPE", pol, " ")
  for (code = 1; code <= 400; code++) {
    p = pol[code % 8 + 1]; if (p == "-") p = ""
    cents = (code * 7919) % 100000 + 1
    printf "%d,%s,Thing %03d,SN%d,2020-01-01,%d.%02d,R,%d,SHOP,MAKER,,,,Hall,0,0,%d,,\n", code, p, code, code, int(cents / 100), cents % 100, code % 5 != 0, code % 3 != 0
  }
  # A lower-case reference still names P2 (references compare without case);
  # a price equal to the limit is not above it, one cent more is.
  print "401,p2,Thing 401,SN401,2020-01-01,950.00,R,1,SHOP,MAKER,,,,Hall,0,0,1,,"
  print "402,P4,Thing 402,SN402,2020-01-01,990.01,R,1,SHOP,MAKER,,,,Hall,0,0,1,,"
}' > ITEMS.csv
for table in INSURANCE_COMPANY POLICY ITEMS; do
  (cd data && "$qvf" import $table ../$table.csv >/dev/null)
done
(cd data && md5sum *.QVF) > before.md5

VORSANDT_TODAY=$today "$bin" --data data --report coverage --pdf coverage.pdf 2>err.txt ||
  fail "coverage: exit $? $(cat err.txt)"
(cd data && md5sum -c --quiet ../before.md5) || fail "the report changed a table"
pdftotext -layout coverage.pdf coverage.txt

# The expected figures, from the CSV files.
awk -F, -v out=expected.txt '
function money(c,   s, r) {
  s = sprintf("%d", int(c / 100)); r = ""
  while (length(s) > 3) { r = "," substr(s, length(s) - 2) r; s = substr(s, 1, length(s) - 3) }
  return s r sprintf(".%02d", c % 100)
}
function cents(t,   a) { split(t, a, "."); return a[1] * 100 + a[2] }
FILENAME == "policies.txt" { split($0, f, " "); ref[f[1]] = 1; order[++n] = f[1]
  limit[f[1]] = cents(f[6]); cover[f[1]] = cents(f[7]); next }
FNR == 1 { next }
{ p = toupper($2); c = cents($6)
  if (p in ref) {
    count[p]++; value[p] += c
    if (limit[p] > 0 && c > limit[p]) over[p] = over[p] sprintf("%d Thing %03d %s\n", $1, $1, money(c))
  } else { ucount++; uvalue += c }
  if ($8 == 0 || $17 == 0) missing++ }
END {
  for (i = 1; i <= n; i++) {
    p = order[i]
    cv = "not stated"; sf = "not stated"; lm = "not stated"
    if (cover[p] > 0) { cv = money(cover[p]); sf = "none" }
    if (cover[p] > 0 && value[p] > cover[p]) sf = money(value[p] - cover[p])
    if (limit[p] > 0) lm = money(limit[p])
    # One word each for the reader below; "_" stands for a blank.
    gsub(" ", "_", cv); gsub(" ", "_", sf); gsub(" ", "_", lm)
    printf "policy %s count %d value %s cover %s shortfall %s limit %s\n", p, count[p], money(value[p]), cv, sf, lm > out
    printf "%s", over[p] > ("over_" p ".txt")
  }
  printf "uninsured %d %s\nmissing %d\n", ucount, money(uvalue), missing > out
}' policies.txt ITEMS.csv

# The block of the text from one policy to the next.
block() {
  awk -v p="$1" '/^ *POLICY: / { on = ($2 == p) } /ITEMS NOT INSURED/ { on = 0 } on' coverage.txt |
    tr -s ' \n' '  '
}
# The whole text on one line: a figure the layout sets a little lower than
# its label comes out on the line below it.
squeezed() { tr -s ' \n' '  ' < coverage.txt; }
has() { printf '%s\n' "$2" | grep -qF -- "$3" || fail "$1: no \"$3\""; }

checked=0
while read -r word p _ count _ value _ cover _ shortfall _ limit; do
  [ "$word" = policy ] || continue
  cover=$(echo "$cover" | tr _ ' '); shortfall=$(echo "$shortfall" | tr _ ' '); limit=$(echo "$limit" | tr _ ' ')
  b=$(block "$p")
  [ -n "$b" ] || fail "policy $p is not in the report"
  has "$p" "$b" "ITEMS COVERED: $count "
  has "$p" "$b" "VALUE OF ITEMS: $value"
  has "$p" "$b" "TOTAL COVER: $cover"
  has "$p" "$b" "SHORTFALL: $shortfall"
  has "$p" "$b" "SINGLE ITEM LIMIT: $limit"
  # Every item above the limit, and no other.
  want=$(grep -c . "over_$p.txt" || true)
  got=$(printf '%s\n' "$b" | grep -o "OVER THE LIMIT:" | wc -l)
  [ "$want" = "$got" ] || fail "$p: $got items above the limit, expected $want"
  while read -r code thing num price; do
    has "$p" "$b" "OVER THE LIMIT: $code $thing $num $price"
  done < "over_$p.txt"
  # The expiry remark against today.
  expiry=$(awk -v p="$p" '$1 == p { print $5 }' policies.txt)
  n=$(days "$expiry")
  if [ "$n" -lt 0 ]; then
    has "$p" "$b" "EXPIRED"
  elif [ "$n" -le 30 ]; then
    has "$p" "$b" "expires in $n days"
  elif printf '%s\n' "$b" | grep -qE "EXPIRED|expires in"; then
    fail "$p: an expiry remark $n days ahead"
  fi
  checked=$((checked + 1))
done < expected.txt
[ "$checked" = 6 ] || fail "$checked policies checked"
# The insurer's name comes by its code; without one, the policy's own.
has P1 "$(block P1)" "INSURER: ALDER MUTUAL"
has P6 "$(block P6)" "INSURER: CEDAR LLOYDS"

set -- $(grep '^uninsured' expected.txt)
has uninsured "$(squeezed)" "UNINSURED ITEMS: $2 VALUE: $3"
uninsured=$(squeezed | grep -oE "no policy|no such policy" | wc -l)
[ "$uninsured" = "$2" ] || fail "$uninsured uninsured items listed, expected $2"
set -- $(grep '^missing' expected.txt)
has missing "$(squeezed)" "ITEMS A CLAIM WOULD STALL ON: $2"
missing=$(squeezed | grep -oE "no photograph, no receipt copy|no photograph|no receipt copy" | wc -l)
[ "$missing" = "$2" ] || fail "$missing items without photograph or receipt copy listed, expected $2"

# A receipt kept among an item's documents counts as its copy: items 5 and
# 15 lack the box; 5 has a photograph and drops out, 15 has none and stays
# for that alone; item 20's manual is no receipt, and a receipt for an item
# not on file changes nothing.
cat > DOCUMENTS.csv <<'CSV'
DOC:DOCUMENT_REFERENCE,DOC:ITEM_REFERENCE,DOC:KIND,DOC:DESCRIPTION,DOC:DATE,DOC:FILE
1,5,RECEIPT,Till receipt,2020-01-01,r5.pdf
2,15,receipt,Invoice,2020-01-01,r15.pdf
3,20,MANUAL,Handbook,2020-01-01,m20.pdf
4,999,RECEIPT,Stray,2020-01-01,r999.pdf
CSV
(cd data && "$qvf" import DOCUMENTS ../DOCUMENTS.csv >/dev/null) || fail "import DOCUMENTS"
VORSANDT_TODAY=$today "$bin" --data data --report coverage --pdf receipts.pdf 2>err.txt ||
  fail "coverage with documents: exit $? $(cat err.txt)"
pdftotext -layout receipts.pdf coverage.txt
set -- $(grep '^missing' expected.txt)
has receipts "$(squeezed)" "ITEMS A CLAIM WOULD STALL ON: $(($2 - 1))"
# What the section of items a claim would stall on says of item $1.
note() { squeezed | sed 's/.*ITEMS WITHOUT A PHOTOGRAPH//' | grep -oE "$1 Thing 0*$1 [^a-z]*[a-z][a-z ,]*" | head -1; }
[ -z "$(note 5)" ] || fail "item 5 is listed despite its receipt: $(note 5)"
has receipts "$(note 15)" "no photograph"
case "$(note 15)" in *receipt*) fail "item 15 still lacks a receipt: $(note 15)" ;; esac
has receipts "$(note 20)" "no receipt copy"

echo "coverage pdf: 6 policies, $(grep '^uninsured' expected.txt), $(grep '^missing' expected.txt) as worked out"
