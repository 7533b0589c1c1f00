#!/bin/sh
# Label sheets of 50 items, each with a 60-character description, through
# Reports > Labels, the preview and its Save as PDF, on both templates with a
# first-label offset that makes them take 3 sheets:
#   run_label_sheets.sh VORSANDT QVF WORK_DIR
# Each PDF is checked page by page: its paper (A4, Letter), every QR code
# read back from the pages drawn at 300 dpi (zbarimg), and with pdftotext
# -bbox every label's code and description where the template puts the
# label, counting from the offset, and every word inside its label.
set -e
bin=$1
qvf=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work/data" "$work/tmp" "$work/out"
work=$(cd "$work" && pwd)
fail() { echo "FAIL: $*"; exit 1; }
for tool in zbarimg pdftoppm pdftotext pdfinfo python3; do
  command -v $tool >/dev/null || fail "$tool is not installed (scripts/setup.sh)"
done

# 50 items; the descriptions fill all 60 characters of ITE:ITEM.
awk 'BEGIN {
  print "ITE:ITEM_CODE,ITE:ITEM,ITE:LOCATION"
  for (i = 1; i <= 50; i++) {
    d = sprintf("Walnut bookcase %02d with glass doors, brass handles and oak shelves", i)
    printf "%d,\"%s\",Hall\n", i, substr(d, 1, 60)
  }
}' >"$work/ITEMS.csv"
printf 'LOC:LOCATION\nHall\n' >"$work/LOCATIONS.csv"
(cd "$work/data" && "$qvf" import ITEMS "$work/ITEMS.csv" >/dev/null &&
  "$qvf" import LOCATIONS "$work/LOCATIONS.csv" >/dev/null) || fail "import"
export TMPDIR="$work/tmp"

run() {  # template name, labels used, pdf
  cat >"$work/$3.script" <<SCRIPT
window SPLASH\$WINDOW
click Continue
window MAIN\$APPFRAME
menu "Labels"
window Labels
expect text labelSubject Items
choose sheetName "$1"
type usedLabels $2
expect text sheetCount "50 labels on 3 sheets"
click ?OK
window "Print Preview"
expect status 4 "Page 1 of 3"
answer-file $work/out/$3.pdf
click ?SavePdf
expect status 1 "Written to $work/out/$3.pdf, 3 pages."
click ?Cancel
expect no-window "Print Preview"
window MAIN\$APPFRAME
menu "E&xit"
wait exit 0
SCRIPT
  "$bin" --data "$work/data" --headless --script "$work/$3.script" >"$work/$3.out" 2>&1 ||
    fail "$3: $(cat "$work/$3.out")"
}
run "A4 3 x 8 (70 x 37 mm)" 5 a4
run "US Letter 3 x 10 (2.625 x 1 in)" 12 letter

check() {  # pdf, paper, columns rows label_w label_h left top pitch_x pitch_y (points), offset
  pdf=$work/out/$1.pdf
  pdfinfo "$pdf" >"$work/$1.info"
  grep -q "^Pages: *3$" "$work/$1.info" || fail "$1: $(grep Pages "$work/$1.info")"
  grep -q "^Page size:.*($2)" "$work/$1.info" || fail "$1: $(grep 'Page size' "$work/$1.info")"
  pdftoppm -r 300 -png "$pdf" "$work/$1-page"
  : >"$work/$1.codes"
  for page in "$work/$1"-page-*.png; do
    zbarimg --quiet --raw -Sdisable -Sqrcode.enable "$page" >>"$work/$1.codes" 2>/dev/null || true
  done
  pdftotext -bbox "$pdf" "$work/$1.html"
  python3 - "$work/$1.codes" "$work/$1.html" "$work/ITEMS.csv" "$3" <<'PY' || fail "$1"
import csv, re, sys
codes_file, html_file, items_file, geometry = sys.argv[1:5]
cols, rows, lw, lh, left, top, px, py, offset = (float(v) for v in geometry.split())
cols, rows, offset = int(cols), int(rows), int(offset)
per_page = cols * rows
items = {int(r["ITE:ITEM_CODE"]): r["ITE:ITEM"] for r in csv.DictReader(open(items_file))}
codes = sorted(l.strip() for l in open(codes_file) if l.strip())
wanted = sorted("VORSANDT ITEM %06d" % i for i in items)
if codes != wanted:
    sys.exit("QR codes read back: %d of %d, e.g. missing %s" %
             (len(set(codes) & set(wanted)), len(wanted), sorted(set(wanted) - set(codes))[:3]))
pages = re.split(r"<page ", open(html_file).read())[1:]
words = []  # (page from 0, x0, y0, x1, y1, text)
for n, page in enumerate(pages):
    for m in re.finditer(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>', page):
        x0, y0, x1, y1 = (float(v) for v in m.groups()[:4])
        words.append((n, x0, y0, x1, y1, m.group(5).replace("&amp;", "&")))
def slot_of(x, y):
    c, r = int((x - left) // px), int((y - top) // py)
    if not (0 <= c < cols and 0 <= r < rows): return None
    if x > left + c * px + lw or y > top + r * py + lh: return None
    return r * cols + c
labels = {}
for n, x0, y0, x1, y1, text in words:
    slot = slot_of(x0, y0)
    if slot is None or slot_of(x1 - 0.01, y1 - 0.01) != slot:
        sys.exit("page %d: %r at %.1f,%.1f-%.1f,%.1f is not inside one label" % (n + 1, text, x0, y0, x1, y1))
    labels.setdefault((n, slot), []).append((y0, x0, text))
for code, description in items.items():
    at = offset + code - 1
    key = (at // per_page, at % per_page)
    got = [t for _, _, t in sorted(labels.get(key, []))]
    if not got or got[0] != "%06d" % code:
        sys.exit("item %d: label %d of page %d reads %r" % (code, key[1] + 1, key[0] + 1, got))
    shown = " ".join(got[1:])
    if not shown.endswith("...") or not description.startswith(shown[:-3].rstrip()) or len(shown) < 20:
        sys.exit("item %d: description %r is not the start of %r, cut" % (code, shown, description))
if len(labels) != len(items):
    sys.exit("%d labels hold text, %d items" % (len(labels), len(items)))
print("%d codes and %d labels read back" % (len(codes), len(labels)))
PY
}
# Geometry in points (1/72 in): A4 labels 70 x 37 mm from 0.5 mm down; Letter
# labels 2.625 x 1 in, 3/16 in from the side (the template rounds it to
# 0.188 in) and 1/2 in from the top, 2.75 in apart.
check a4 "A4" "3 8 198.425 104.882 0 1.417 198.425 104.882 5"
check letter "letter" "3 10 189 72 13.536 36 198 72 12"
# From the lists: a location's items in the list's order (by description),
# and the locations themselves.
mkdir -p "$work/data2"
printf 'ITE:ITEM_CODE,ITE:ITEM,ITE:LOCATION\n1,Kettle,Kitchen\n2,Clock,Hall\n3,Armchair,Hall\n4,Toaster,Kitchen\n' \
  >"$work/ITEMS2.csv"
printf 'LOC:LOCATION\nHall\nKitchen\n' >"$work/LOCATIONS2.csv"
(cd "$work/data2" && "$qvf" import ITEMS "$work/ITEMS2.csv" >/dev/null &&
  "$qvf" import LOCATIONS "$work/LOCATIONS2.csv" >/dev/null) || fail "import"
cat >"$work/lists.script" <<SCRIPT
window SPLASH\$WINDOW
click Continue
window MAIN\$APPFRAME
menu "Browse ITEM LOCATIONS"
window BROWSELOCATIONS\$QUICKWINDOW
select ?Browse 1
click ?Items
window "BROWSEITE:LOC\$QUICKWINDOW"
expect rows ?Browse 2
answer-popup 4
press RightClick ?Browse
expect popup "|&Insert|&Change|&Delete|Print &Labels...|&Export List..."
window Labels
expect disabled labelSubject
expect text labelSubject Items
expect text sheetCount "2 labels on 1 sheet"
click ?OK
window "Print Preview"
answer-file $work/out/hall.pdf
click ?SavePdf
click ?Cancel
window "BROWSEITE:LOC\$QUICKWINDOW"
click ?Close
window BROWSELOCATIONS\$QUICKWINDOW
answer-popup 4
press RightClick ?Browse
expect popup "|&Insert|&Change|&Delete|Print &Labels...|&Export List..."
window Labels
expect text labelSubject Locations
choose sheetName "US Letter 3 x 10 (2.625 x 1 in)"
click ?OK
window "Print Preview"
answer-file $work/out/locations.pdf
click ?SavePdf
click ?Cancel
window BROWSELOCATIONS\$QUICKWINDOW
click ?Close
window MAIN\$APPFRAME
menu "E&xit"
wait exit 0
SCRIPT
"$bin" --data "$work/data2" --headless --script "$work/lists.script" >"$work/lists.out" 2>&1 ||
  fail "lists: $(cat "$work/lists.out")"
for f in hall locations; do
  pdftoppm -r 300 -png "$work/out/$f.pdf" "$work/$f-page"
  zbarimg --quiet --raw "$work/$f-page-1.png" 2>/dev/null | sort | tr '\n' ';' >"$work/$f.codes"
  pdftotext "$work/out/$f.pdf" - | grep -E '^[0-9]{6}$|^Hall$|^Kitchen$' | tr '\n' ';' >"$work/$f.order"
done
[ "$(cat "$work/hall.codes")" = "VORSANDT ITEM 000002;VORSANDT ITEM 000003;" ] ||
  fail "the hall's labels hold $(cat "$work/hall.codes")"
[ "$(cat "$work/hall.order")" = "000003;000002;" ] || fail "the hall's labels come $(cat "$work/hall.order")"
[ "$(cat "$work/locations.codes")" = "VORSANDT LOC Hall;VORSANDT LOC Kitchen;" ] ||
  fail "the locations' labels hold $(cat "$work/locations.codes")"
grep -q "^Page size:.*(letter)" "$(pdfinfo "$work/out/locations.pdf" >"$work/locations.info" && echo "$work/locations.info")" ||
  fail "the locations' labels are not on letter paper"

left=$(find "$work/tmp" -name 'ZOR*' | wc -l)
[ "$left" = 0 ] || fail "$left page images left"
echo "label sheets: A4 and Letter, 50 items on 3 pages each, every code and label read back; lists print their own records in their order"
