#!/bin/sh
# Runs a splash script on a fresh data folder holding the README.TXT asked for,
# with the event trace on, and reports how often the progress window opened
# and how many timer events it had.
#
#   run_splash_script.sh PROGRAM DATA SCRIPT none|empty|long|FILE
set -u
program=$1 data=$2 script=$3 readme=$4
rm -rf "$data"
mkdir -p "$data"
case $readme in
  none) ;;
  empty) : > "$data/README.TXT" ;;
  long)
    awk 'BEGIN { for (i = 1; i <= 1500; i++)
                   printf "Line %04d of a long README, written with CR LF line ends.\r\n", i }' \
      > "$data/README.TXT" ;;
  *) cp "$readme" "$data/README.TXT" ;;
esac
trace=$data.trace
VORSANDT_TRACE_EVENTS=1 "$program" --data "$data" --headless --script "$script" 2> "$trace"
rc=$?
grep -v '^\[slot ' "$trace" >&2
opens=$(grep -c 'SPLASH\$PROGRESSWINDOW EVENT:OpenWindow' "$trace")
timers=$(grep -c 'SPLASH\$PROGRESSWINDOW EVENT:Timer' "$trace")
echo "exit $rc, progress windows $opens, timer events $timers"
exit $rc
