#!/bin/sh
# The reports from the command line over 2,000 items in 40 locations:
#   run_report_pdf.sh VORSANDT QVF WORK_DIR
# Checks, with pdfinfo and pdftotext, that the inventory PDF has the pages
# its layout gives (worked out here from the band heights), every item's
# description exactly once, and each location's header on the page where its
# first item is, above it; with pdftotext -bbox (check_report_pages.awk)
# that no line reaches the page footer and that every page going on with a
# location begins with its header marked "(continued)"; that the insurance
# PDF shows each policy's "VALUE OF ITEMS INSURED:" as the sum of its items'
# prices worked out here, that its lines keep off the footer too, and that
# its pages inside a policy repeat the policy's header;
# and that an unknown or empty report fails with 1 and leaves no file.
set -e
bin=$1
qvf=$2
work=$3
rm -rf "$work"
mkdir -p "$work/data" "$work/tmp"
export TMPDIR="$work/tmp"
cd "$work"

# 40 locations of 50 items; items alternate between policies P1 and P2 of
# insurer 1; prices in whole cents.
awk 'BEGIN {
  print "LOC:LOCATION" > "LOCATIONS.csv"
  print "ITE:ITEM_CODE,ITE:POLICY_REFERENCE,ITE:ITEM,ITE:SERIAL_NUMBER,ITE:DATE_BOUGHT,ITE:PRICE_PAID,ITE:RECEIPT_REFERENCE,ITE:COPY_OF_RECIEPT,ITE:SUPPLIER,ITE:MANUFACTURER,ITE:SUPPLIERS_WARRANTY,ITE:MANUFACTURERS_WARRANTY,ITE:EXTENDED_WARRANTY,ITE:LOCATION,ITE:UV_MARKED,ITE:ETCHED,ITE:PHOTOGRAPHED,ITE:PICTURE,ITE:DESCRIPTION_OF_PICTURE" > "ITEMS.csv"
  code = 0
  for (l = 1; l <= 40; l++) {
    loc = sprintf("Room %02d", l)
    print loc > "LOCATIONS.csv"
    for (i = 1; i <= 50; i++) {
      code++
      cents = (code * 7919) % 100000 + 1
      printf "%d,P%d,%s item %03d,SN%05d,2020-01-01,%d.%02d,R,0,SHOP,MAKER,,,,%s,0,0,0,,\n", code, code % 2 + 1, loc, i, code, int(cents / 100), cents % 100, loc > "ITEMS.csv"
    }
  }
  print "INS:REFERENCE,INS:COMPANY,INS:TELEPHONE,INS:FAX,INS:CONTACT,INS:ADDRESS_1,INS:ADDRESS_2,INS:ADDRESS_3,INS:ADDRESS_4" > "INSURANCE_COMPANY.csv"
  print "1,ALDER MUTUAL,0100,0101,ANN,L1,L2,L3,L4" > "INSURANCE_COMPANY.csv"
  print "POL:POLICY_REFERENCE,POL:INSURER_CODE,POL:INSURER,POL:START_INSURANCE,POL:POLICY_EXPIRES,POL:POLICY_TYPE,POL:NO_CLAIMS_BONUS,POL:EXCESS,POL:PREMIUM,POL:EXTRA_BENEFITS,POL:ACCIDENTAL_DAMAGE,POL:SINGLE_ITEM_LIMIT,POL:TOTAL_COVER" > "POLICY.csv"
  print "P1,1,ALDER MUTUAL,2026-01-01,2027-01-01,HOME,10,50.00,100.00,,,0,0" > "POLICY.csv"
  print "P2,1,ALDER MUTUAL,2026-01-02,2027-01-02,HOME,10,50.00,200.00,,,0,0" > "POLICY.csv"
}'
for table in LOCATIONS ITEMS INSURANCE_COMPANY POLICY; do
  (cd data && "$qvf" import $table ../$table.csv >/dev/null)
done

fail() { echo "FAIL: $*"; exit 1; }

"$bin" --data data --report inventory --pdf inventory.pdf 2>err.txt || fail "inventory: exit $? $(cat err.txt)"
pages=$(pdfinfo inventory.pdf | awk '/^Pages:/ { print $2 }')
# The layout: a detail area 7833 high whose page footer begins 7000 down;
# per location a header of 1052 kept with its first item, items of 177 whose
# text reaches 188 down, a footer of 167. A page that begins while a
# location is open (its footer included) starts with its header again.
expected=$(awk 'function max(a, b) { return a > b ? a : b }
  function newpage(band) {
    pages++; cur = 0; has = 0
    if (open && 1052 + band <= F) cur = 1052
  }
  function fits(h, r) { return cur + h <= A && cur + r <= F }
  function flow(h, r) {
    if (pages == 0) { pages = 1; cur = 0; has = 0 }
    if (has && !fits(h, r)) newpage(max(h, r))
    cur += h; has = 1
  }
  BEGIN {
    A = 7833; F = 7000
    for (l = 1; l <= 40; l++) {
      if (l > 1) { flow(167, 167); open = 0 }
      if (pages > 0 && has && !fits(1052 + 177, 1052 + 188)) newpage(0)
      flow(1052, 1052); open = 1
      for (i = 1; i <= 50; i++) flow(177, 188)
    }
    flow(167, 167)
    print pages
  }')
[ "$pages" = "$expected" ] || fail "inventory: $pages pages, the layout gives $expected"
pdftotext -layout inventory.pdf inventory.txt
# Each description once: the first column of every item line.
sed 's/^ *//; s/  .*$//' inventory.txt | grep -E '^Room [0-9]+ item [0-9]+$' | sort > seen.txt
awk -F, 'NR > 1 { print $3 }' ITEMS.csv | sort > wanted.txt
cmp -s seen.txt wanted.txt || fail "inventory: item descriptions differ from the table ($(wc -l < seen.txt) seen)"
# Each location's header on the page of its first item, above it.
awk -v RS='\f' '{
    n = split($0, lines, "\n"); header = ""
    for (k = 1; k <= n; k++) {
      line = lines[k]; sub(/^ +/, "", line); sub(/ +$/, "", line)
      if (line ~ /^Room [0-9]+$/) header = line
      if (line ~ /^Room [0-9]+ item 001/) {
        loc = substr(line, 1, 7)
        if (header != loc) { print "location " loc " starts on page " NR " without its header"; bad = 1 }
        starts++
      }
    }
  }
  END { if (starts != 40) { print starts " location starts"; bad = 1 } exit bad }' inventory.txt ||
  fail "inventory: location headers"

# Where every line lies: above the page footer (9000 thousandths of an
# inch down, 648 points), and each page that goes on with a location starts
# with its header "(continued)".
pdftotext -bbox inventory.pdf inventory.html
awk -v footer_top=648 -v flow_top=144 -v groups=1 -v items=2000 -v prefix=1 \
  -f "$(dirname "$0")/check_report_pages.awk" inventory.html >check.txt || fail "inventory: $(cat check.txt)"

"$bin" --data data --report insurance --pdf insurance.pdf 2>err.txt || fail "insurance: exit $? $(cat err.txt)"
pdftotext -layout insurance.pdf insurance.txt
want=$(awk -F, 'NR > 1 { split($6, p, "."); cents[$2] += p[1] * 100 + p[2] }
  function grouped(c,   whole, s) {
    whole = int(c / 100); s = ""
    while (whole >= 1000) { s = sprintf(",%03d", whole % 1000) s; whole = int(whole / 1000) }
    return whole s sprintf(".%02d", c % 100)
  }
  END { print grouped(cents["P1"]) " " grouped(cents["P2"]) }' ITEMS.csv)
got=$(grep 'VALUE OF ITEMS INSURED:' insurance.txt | awk '{ print $NF }' | tr '\n' ' ' | sed 's/ $//')
[ "$got" = "$want" ] || fail "insurance: totals '$got', the items sum to '$want'"
pdftotext -bbox insurance.pdf insurance.html
awk -v footer_top=648 -f "$(dirname "$0")/check_report_pages.awk" insurance.html >check.txt ||
  fail "insurance: $(cat check.txt)"
# Every page after the first begins inside the one company and repeats its
# header; a page whose first policy header is not continued follows a page
# that ended its policy (its "VALUE OF ITEMS INSURED:" after its last item).
ipages=$(pdfinfo insurance.pdf | awk '/^Pages:/ { print $2 }')
continued=$(grep -c 'ALDER MUTUAL *(continued)' insurance.txt || true)
[ "$continued" = $((ipages - 1)) ] || fail "insurance: $continued continued company headers on $ipages pages"
awk -v RS='\f' 'NF == 0 { next }
  {
    n = split($0, lines, "\n"); first = ""; ended = 0
    for (k = 1; k <= n; k++) {
      if (first == "" && lines[k] ~ /POLICY REFERENCE:/) first = lines[k]
      if (lines[k] ~ /^ITEM:/) ended = 0
      if (lines[k] ~ /VALUE OF ITEMS INSURED:/) ended = 1
    }
    if (NR > 1 && first !~ /\(continued\)/ && !previous_ended) {
      print "page " NR " goes on with a policy without its header continued"; bad = 1
    }
    if (NR > 1 && first ~ /\(continued\)/ && previous_ended) {
      print "page " NR " continues a policy that ended"; bad = 1
    }
    previous_ended = ended
  }
  END { exit bad }' insurance.txt >check.txt || fail "insurance: $(cat check.txt)"

if "$bin" --data data --report nosuch --pdf nosuch.pdf 2>err.txt; then fail "an unknown report succeeded"; fi
grep -q "no report named nosuch" err.txt || fail "unknown report: $(cat err.txt)"
mkdir -p empty
if "$bin" --data empty --report inventory --pdf empty.pdf 2>err.txt; then fail "an empty report succeeded"; fi
grep -q "the report is empty" err.txt || fail "empty report: $(cat err.txt)"
[ ! -e empty.pdf ] && [ ! -e empty.pdf.part ] || fail "a failed report left a file"
left=$(find tmp -name 'ZOR*' | wc -l)
[ "$left" = 0 ] || fail "$left page images left"
echo "report pdf: $pages pages as the layout gives, 2000 items once, 40 location headers, totals $got"
