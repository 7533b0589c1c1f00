#!/bin/sh
# Runs the built morvak program and compares its exact output.
# Usage: morvak_test.sh PATH-TO-MORVAK
set -u
morvak="$1"
failures=0

# expect STATUS STDOUT ARGS...: runs morvak ARGS and checks both.
expect() {
  want_status="$1"; want_out="$2"; shift 2
  out=$("$morvak" "$@" 2>/tmp/morvak_test_err.$$; echo "[$?]")
  if [ "$out" != "$want_out
[$want_status]" ] && ! { [ -z "$want_out" ] && [ "$out" = "[$want_status]" ]; }; then
    echo "FAIL: morvak $*"
    echo "  wanted: '$want_out' status $want_status"
    echo "  got:    '$out'"
    failures=$((failures + 1))
  fi
}

expect 0 '000042' format 42 @N06
expect 0 '  1,234.50' format 1234.5 @n-10.2
expect 0 '          ' format 0 @n-10.2B
expect 0 ' 4/07/96' format 71411 @D5
expect 0 '25%' format 25 '@P##%P'
expect 0 'hello     ' format hello @s10
expect 0 '1234.5' deformat '  1,234.50' @n-10.2
expect 0 '71411' deformat ' 4/07/96' @D5
expect 0 '5' deformat '05%' '@P##%P'
expect 0 '4' date 1 1 1801
expect 0 '109211' date 12 31 2099
expect 0 '71411' date 7 4 96
expect 0 '-1' date 2 0 2001
expect 0 '4 7 1996' day 71411
expect 0 '-1 -1 -1' day 109212
expect 0 '7' eval '1+2*3'
expect 0 'AB' eval "UPPER('ab')"
expect 0 '1' eval --set X=5 'X > 4'
expect 1 '' eval '1 +'
# query in an empty folder: the table is missing, status 1 with the reason.
qdir=$(mktemp -d)
out=$(cd "$qdir" && "$morvak" query ITEMS 2>&1; echo "[$?]")
case "$out" in
  *"File Not Found"*"[1]") ;;
  *) echo "FAIL: morvak query in an empty folder: $out"; failures=$((failures + 1)) ;;
esac
rm -rf "$qdir"
# An invalid picture: nothing on standard output, a message, status 1.
expect 1 '' format 42 @x9
expect 1 '' deformat 42 '@n-'
if [ ! -s /tmp/morvak_test_err.$$ ]; then
  echo "FAIL: no message on standard error for an invalid picture"
  failures=$((failures + 1))
fi
expect 2 '' date x 1 1990
expect 2 '' frobnicate
rm -f /tmp/morvak_test_err.$$

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "all morvak checks passed"
