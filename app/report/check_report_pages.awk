# Reads the words of a report PDF as `pdftotext -bbox` writes them and checks
# how its pages are laid out:
#   awk -v footer_top=PT -v flow_top=PT [-v groups=1 -v items=N -v prefix=1] \
#       -f check_report_pages.awk FILE.html
# On every page, every line but the page footer's number ends above
# footer_top (points from the page's top). With groups=1 (the inventory
# report) the lines between flow_top and footer_top are read as location
# groups: every page begins with a "LOCATION" header; the first header of a
# page that continues the location the page before ended in says
# "(continued)" after the location, and no other header does; every
# location begins once; there are `items` item lines in all, and with
# prefix=1 every item line starts with its location's name (as the generated
# test data has it). Prints "pages: N, items: M" and exits 1 on the first
# fault, naming the page.
function unescape(s) {
  gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s); gsub(/&quot;/, "\"", s)
  gsub(/&#39;/, "'", s); gsub(/&amp;/, "\\&", s)
  return s
}
function attr(line, name,   m) {
  if (match(line, name "=\"[-0-9.]+\"")) {
    m = substr(line, RSTART + length(name) + 2, RLENGTH - length(name) - 3)
    return m + 0
  }
  return 0
}
function fail(text) { print "FAIL: page " page ": " text; failed = 1; exit 1 }
# Words whose tops are within a point of each other form one line.
function add_word(x, y, ymax, text,   i) {
  for (i = 1; i <= n; i++) {
    if (y - ly[i] < 1 && ly[i] - y < 1) {
      lt[i] = lt[i] " " text
      if (ymax > lmax[i]) lmax[i] = ymax
      return
    }
  }
  n++; ly[n] = y; lx[n] = x; lmax[n] = ymax; lt[n] = text
}
function check_page(   i, j, t, k, first, name, continued, line, kind) {
  if (page == 0) return
  # Lines top to bottom.
  for (i = 2; i <= n; i++) {
    for (j = i; j > 1 && ly[j - 1] > ly[j]; j--) {
      t = ly[j]; ly[j] = ly[j - 1]; ly[j - 1] = t
      t = lx[j]; lx[j] = lx[j - 1]; lx[j - 1] = t
      t = lmax[j]; lmax[j] = lmax[j - 1]; lmax[j - 1] = t
      t = lt[j]; lt[j] = lt[j - 1]; lt[j - 1] = t
    }
  }
  for (i = 1; i <= n; i++) {
    # The page number: the footer's own, at its top or below.
    if (ly[i] >= footer_top - 2 && lt[i] ~ /^[0-9]+$/) continue
    if (lmax[i] > footer_top + 0.01) {
      fail("\"" lt[i] "\" reaches down to " lmax[i] ", below the footer's top " footer_top)
    }
  }
  if (!groups) { n = 0; return }
  first = 1
  for (i = 1; i <= n; i++) {
    line = lt[i]
    if (ly[i] < flow_top || ly[i] >= footer_top) continue
    if (line == "LOCATION") {
      if (i == n) fail("a location header without its location")
      name = lt[++i]
      continued = sub(/ \(continued\)$/, "", name)
      if (first && name == open_group && !continued) {
        fail("begins inside " name " without \"(continued)\"")
      }
      if (continued && !(first && name == open_group)) {
        fail("\"" name " (continued)\" where " name " does not go on from the page before")
      }
      if (!continued) {
        if (name in begun) fail(name " begins a second time")
        begun[name] = 1
      }
      open_group = name
      first = 0
      continue
    }
    if (first) fail("begins with \"" line "\" instead of a location header")
    if (line ~ /^ITEM DESCRIPTION/) continue
    item_count++
    if (prefix && index(line, open_group " ") != 1) {
      fail("item \"" line "\" under the header of " open_group)
    }
  }
  n = 0
}
/<page / { check_page(); page++; next }
/<word / {
  text = $0
  sub(/^.*<word [^>]*>/, "", text)
  sub(/<\/word>.*$/, "", text)
  add_word(attr($0, "xMin"), attr($0, "yMin"), attr($0, "yMax"), unescape(text))
}
END {
  if (failed) exit 1
  check_page()
  if (failed) exit 1
  if (groups && items != "" && item_count != items) {
    print "FAIL: " item_count " item lines, the table has " items
    exit 1
  }
  print "pages: " page ", items: " item_count
}
