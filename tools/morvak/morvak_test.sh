#!/bin/sh
# Runs the built morvak program and compares its exact output.
# Usage: morvak_test.sh PATH-TO-MORVAK PATH-TO-QVF
set -u
morvak="$1"
qvf="$2"
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
# No result of arithmetic is written as inf or nan; a number too large for a
# real does not fit a picture; RANDOM's bounds may come either way round.
expect 0 '#' eval '1/0'
expect 0 '#' eval '-1/0'
expect 0 '#' eval '0/0'
expect 0 '#' eval '1%0'
expect 0 '1' eval '1/0 > 1e308'
expect 0 '2147483647' eval 'INT(1/0)'
expect 0 '####################' format 1e400 @n-20.2
expect 0 '####################' format -1e400 @n-20.2
expect 0 '####################' eval "FORMAT('1e400', @n-20.2)"
i=0
while [ $i -lt 30 ]; do
  r=$("$morvak" eval 'RANDOM(1, 0)')
  case "$r" in
    0|1) ;;
    *) echo "FAIL: RANDOM(1, 0) gave $r"; failures=$((failures + 1)); break ;;
  esac
  i=$((i + 1))
done
# Output that cannot be written is an error, for every command.
full_check() {
  err=$("$morvak" "$@" 2>&1 >/dev/full; echo "[$?]")
  if [ "$err" != "morvak: cannot write standard output: No space left on device
[1]" ]; then
    echo "FAIL: morvak $* >/dev/full: $err"
    failures=$((failures + 1))
  fi
}
full_check eval '1+2'
full_check format 42 @N06
full_check deformat 42 @n3
full_check date 1 1 1801
full_check day 4
fdir=$(mktemp -d)
printf 'LOC:LOCATION\r\nHall\r\n' > "$fdir/loc.csv"
(cd "$fdir" && "$qvf" import LOCATIONS loc.csv) || { echo "FAIL: qvf import"; failures=$((failures + 1)); }
out=$(cd "$fdir" && "$morvak" query LOCATIONS)
[ "$out" = "LOC:LOCATION
Hall" ] || { echo "FAIL: morvak query LOCATIONS: $out"; failures=$((failures + 1)); }
cd "$fdir" && full_check query LOCATIONS
cd - >/dev/null
rm -rf "$fdir"
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
# Without a command word morvak is the query window: without a display it
# says so (not the usage), and a data folder that is not there is not made.
err=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$morvak" 2>&1; echo "[$?]")
case "$err" in
  "morvak: no display was found"*"[2]") ;;
  *) echo "FAIL: morvak without a display: $err"; failures=$((failures + 1)) ;;
esac
wdir=$(mktemp -d)
: > "$wdir/empty.script"
err=$("$morvak" --data "$wdir/none" --headless --script "$wdir/empty.script" 2>&1; echo "[$?]")
case "$err" in
  "morvak: cannot use the data folder $wdir/none: No such file or directory"*"[2]") ;;
  *) echo "FAIL: morvak --data on a missing folder: $err"; failures=$((failures + 1)) ;;
esac
[ ! -e "$wdir/none" ] || { echo "FAIL: morvak made the data folder"; failures=$((failures + 1)); }
expect 2 '' --headless
expect 2 '' --script "$wdir/empty.script"
expect 0 '' --data "$wdir" --headless --script "$wdir/empty.script"
rm -rf "$wdir"
rm -f /tmp/morvak_test_err.$$

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "all morvak checks passed"
