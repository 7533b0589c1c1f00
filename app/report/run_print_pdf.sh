#!/bin/sh
# Printing and saving the inventory report of the sample household as PDF
# files, through the program's windows:
#   run_print_pdf.sh VORSANDT QVF WORK_DIR
# On a machine without a printer, Print! offers the printer setup; confirmed
# without a printer the job fails with the printer error, once. Then Print
# Setup chooses a PDF file and Print! writes it, saying where in the frame's
# status bar; the preview's Save as PDF writes the same pages, saying where in
# its own status bar; and a Save as PDF into a folder the user may not write
# says why and writes nothing. The PDFs are checked with pdfinfo and
# pdftotext against the command line's. As root, the program runs as an
# ordinary user, for whom a read-only folder is one.
set -e
bin=$1
qvf=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work/tmp" "$work/out" "$work/closed"
work=$(cd "$work" && pwd)
fail() { echo "FAIL: $*"; exit 1; }

bash "$here/../../scripts/load-sample-data.sh" "$qvf" "$work/data" >/dev/null
export TMPDIR="$work/tmp"
"$bin" --data "$work/data" --report inventory --pdf "$work/reference.pdf" 2>"$work/err.txt" ||
  fail "reference: $(cat "$work/err.txt")"
pages=$(pdfinfo "$work/reference.pdf" | awk '/^Pages:/ { print $2 }')
[ "$pages" -gt 1 ] || fail "the reference has $pages pages"

as_user=""
if [ "$(id -u)" = 0 ]; then
  setpriv --help >/dev/null 2>&1 || { echo "SKIP: running as root without setpriv"; exit 0; }
  as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
  chmod -R a+rwX "$work"
fi
chmod 555 "$work/closed"

cat >"$work/print.script" <<EOF
window SPLASH\$WINDOW
click Continue
window MAIN\$APPFRAME
menu "Master Inventory"
window "Print Preview"
expect status 4 "Page 1 of $pages"
expect text ?SavePdf "Save as P&DF..."
answer-printer ok
click ?Print
expect message "Unexpected error opening printer device"
expect no-window "Print Preview"
window MAIN\$APPFRAME
answer-printer pdf $work/out/printed.pdf
menu "Print Setup ..."
menu "Master Inventory"
window "Print Preview"
click ?Print
expect no-window "Print Preview"
expect notice "Written to $work/out/printed.pdf, $pages pages."
window MAIN\$APPFRAME
menu "Master Inventory"
window "Print Preview"
click ?NextPage
answer-file $work/out/saved.pdf
click ?SavePdf
expect status 1 "Written to $work/out/saved.pdf, $pages pages."
expect status 4 "Page 2 of $pages"
answer-file $work/closed/inventory.pdf
click ?SavePdf
expect message "The report was not saved as $work/closed/inventory.pdf: the folder $work/closed cannot be written to (Permission denied)."
expect status 1 ""
expect window "Print Preview"
click ?Cancel
expect no-window "Print Preview"
EOF

rc=0
VORSANDT_HEADLESS_NO_PRINTER=1 $as_user "$bin" --data "$work/data" --headless \
  --script "$work/print.script" >"$work/out.txt" 2>&1 || rc=$?
[ "$rc" = 0 ] || fail "the script: exit $rc: $(cat "$work/out.txt")"
for f in printed saved; do
  got=$(pdfinfo "$work/out/$f.pdf" | awk '/^Pages:/ { print $2 }')
  [ "$got" = "$pages" ] || fail "$f.pdf has $got pages, the preview $pages"
  pdftotext -layout "$work/out/$f.pdf" "$work/$f.txt"
done
pdftotext -layout "$work/reference.pdf" "$work/reference.txt"
cmp -s "$work/printed.txt" "$work/reference.txt" || fail "printed.pdf differs from the command line's"
cmp -s "$work/saved.txt" "$work/reference.txt" || fail "saved.pdf differs from the command line's"
[ -z "$(ls -A "$work/closed")" ] || fail "the closed folder holds $(ls -A "$work/closed")"
[ -z "$(ls -A "$work/out" | grep -v '^printed.pdf$' | grep -v '^saved.pdf$')" ] ||
  fail "left in out: $(ls -A "$work/out")"
left=$(find "$work/tmp" -name 'ZOR*' | wc -l)
[ "$left" = 0 ] || fail "$left page images left"
echo "print pdf: $pages pages printed to a file and saved, the same as the command line's; the closed folder refused"
