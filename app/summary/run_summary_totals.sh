#!/bin/sh
# The summary's figures against sums worked out here from `qvf export` of the
# same tables: the sample household, with a few items added that name a
# location in other letters, no location, a policy that is not on file and
# no purchase date. Both the window (its dump on the headless platform) and
# the page `--report summary --pdf` writes (its text, through pdftotext) must
# show every total: value and count, each location's, each policy's value
# and cover, each year's.
#   run_summary_totals.sh VORSANDT QVF WORK_DIR SOURCE_DIR
set -e
bin=$(realpath "$1") qvf=$(realpath "$2") work=$3 root=$4
fail() { echo "FAIL: $*"; exit 1; }
for tool in pdftotext python3; do
  command -v $tool >/dev/null || fail "$tool is not installed (scripts/setup.sh)"
done
rm -rf "$work"
mkdir -p "$work/data"
work=$(cd "$work" && pwd)
"$root/scripts/load-sample-data.sh" "$qvf" "$work/data" >"$work/load.log" 2>&1 ||
  fail "the sample household did not load: $(cat "$work/load.log")"
cat >"$work/more.csv" <<'CSV'
ITE:ITEM_CODE,ITE:POLICY_REFERENCE,ITE:ITEM,ITE:DATE_BOUGHT,ITE:PRICE_PAID,ITE:LOCATION
9001,,Old trunk,,75.25,kitchen
9002,NOT-ON-FILE-7,Canoe,1998-04-03,640.00,
9003,HMI-204518-HC,Garden bench,2026-02-28,0.01,Garden Shed
CSV
(cd "$work/data" && "$qvf" import ITEMS "$work/more.csv" >/dev/null) || fail "the added items did not import"
for t in ITEMS POLICY LOCATIONS; do
  (cd "$work/data" && "$qvf" export "$t" --out "$work/$t.csv") || fail "qvf export $t"
done

cat >"$work/dump.script" <<'SCRIPT'
window SPLASH$WINDOW
click Continue
window MAIN$APPFRAME
menu "Summary"
window INVENTORYSUMMARY$WINDOW
dump
close
window MAIN$APPFRAME
menu "E&xit"
wait exit 0
SCRIPT
"$bin" --data "$work/data" --headless --script "$work/dump.script" >"$work/dump.txt" ||
  fail "the summary window's script failed: $(cat "$work/dump.txt")"
"$bin" --data "$work/data" --report summary --pdf "$work/summary.pdf" || fail "--report summary"
pdftotext "$work/summary.pdf" "$work/summary.txt" || fail "pdftotext"

python3 - "$work" <<'PY'
import csv, re, sys
from collections import OrderedDict
work = sys.argv[1]
rows = lambda t: list(csv.DictReader(open("%s/%s.csv" % (work, t), encoding="utf-8")))
key = lambda s: s.rstrip(" ").upper()
cents = lambda s: round(float(s or 0) * 100)
money = lambda c: "{:,.2f}".format(c / 100)
items, policies, locations = rows("ITEMS"), rows("POLICY"), rows("LOCATIONS")

total = sum(cents(i["ITE:PRICE_PAID"]) for i in items)
# Location: the name on file, else the first item's; value and count.
loc = OrderedDict((key(l["LOC:LOCATION"]), [l["LOC:LOCATION"].rstrip(" "), 0]) for l in locations)
for i in items:
    g = loc.setdefault(key(i["ITE:LOCATION"]), [i["ITE:LOCATION"].rstrip(" "), 0])
    g[1] += cents(i["ITE:PRICE_PAID"])
want_loc = {(n or "(no location)"): v for n, v in loc.values()}
pol = OrderedDict((key(p["POL:POLICY_REFERENCE"]), [p["POL:POLICY_REFERENCE"], 0, cents(p["POL:TOTAL_COVER"])])
                  for p in policies)
for i in items:
    ref = i["ITE:POLICY_REFERENCE"]
    g = pol.setdefault(key(ref), [(ref + " (not on file)") if ref.strip() else "(no policy)", 0, -1])
    g[1] += cents(i["ITE:PRICE_PAID"])
years = {}
for i in items:
    y = i["ITE:DATE_BOUGHT"][:4] or "no date"
    years[y] = years.get(y, 0) + cents(i["ITE:PRICE_PAID"])
dated = sorted(int(y) for y in years if y != "no date")
want_years = {str(y): years.get(str(y), 0) for y in range(dated[0], dated[-1] + 1)}
if "no date" in years: want_years["no date"] = years["no date"]

problems = []
def same(what, have, want):
    if have != want:
        problems.append("%s: the window shows %s, qvf export sums to %s" % (what, have, want))

# The window: its two lines and every chart's bars.
dump = open(work + "/dump.txt", encoding="utf-8").read()
charts, current = {}, None
for line in dump.splitlines():
    m = re.match(r'  \d+ chart "" .* title "([^"]*)"', line)
    if m:
        current = charts.setdefault(m.group(1), [])
        continue
    m = re.match(r"    \d+: (.*)$", line)
    if m and current is not None:
        current.append([p.strip() for p in m.group(1).split(" | ")])
    elif not line.startswith("    "):
        current = None
same("the total", re.search(r'string "(Total value [^"]*)"', dump).group(1),
     "Total value %s in %d items" % (money(total), len(items)))
same("value by location", {b[0]: b[1] for b in charts["Value by location"]},
     {n: money(v) for n, v in want_loc.items()})
values = [float(b[1].replace(",", "")) for b in charts["Value by location"]]
same("the locations' order", values, sorted(values, reverse=True))
same("value and cover by policy",
     [(b[0], b[1], b[2] if len(b) > 2 else "") for b in charts["Value against total cover by policy"]],
     [(n, money(v), "Total cover " + money(c) if c > 0 else "") for n, v, c in
      sorted(pol.values(), key=lambda g: (g[2] < 0, g[0] == "(no policy)", key(g[0]) if g[2] >= 0 else ""))])
same("value by year", [tuple(b) for b in charts["Value bought by year"]],
     [(y, money(v)) for y, v in want_years.items()])
if sum(want_loc.values()) != total or sum(g[1] for g in pol.values()) != total or sum(want_years.values()) != total:
    problems.append("the groups worked out here do not add up to the total")

# The page: the same figures as its text.
text = open(work + "/summary.txt", encoding="utf-8").read().replace("\ufb01", "fi")
flat = [re.sub(r"\s+", " ", l).strip() for l in text.splitlines()]
# A long label goes on two lines, its figure under its name.
lines = set(flat) | set(a + " " + b for a, b in zip(flat, flat[1:]))
def on_page(s, name=None):
    if s in lines: return
    # A name too long for its place on the page keeps its figure whole and
    # loses its end ("NAME-TOO-LO… 640.00").
    if name is not None:
        figure = s[len(name) + 1:]
        for l in lines:
            if l.endswith(" " + figure) and "\u2026" in l:
                cut = l[:-len(figure) - 1].rstrip("\u2026 ")
                if cut and name.startswith(cut): return
    problems.append("the PDF page has no line %r" % s)
on_page("Total value %s in %d items" % (money(total), len(items)))
for n, v in want_loc.items(): on_page("%s %s" % (n, money(v)), n)
for n, v, c in pol.values():
    on_page("%s %s" % (n, money(v)), n)
    if c > 0: on_page(money(c))
for y, v in want_years.items(): on_page("%s %s" % (y, money(v)))
if problems:
    sys.exit("\n".join(problems))
print("summary totals as qvf export sums them: %s in %d items, %d locations, %d policies, %d years"
      % (money(total), len(items), len(want_loc), len(pol), len(want_years)))
PY
