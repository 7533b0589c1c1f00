#!/usr/bin/env bash
# Pictures of the Find window over the sample household, to look at whether
# its results, their headings and the highlighted words fit and read well:
#   scripts/find-window.sh [PROGRAM] [OUTPUT_DIR]
# writes find-wine.png (Ctrl+F from the frame, "wine" typed), find-kitchen.png
# (a location's name: items, claims and the location itself) and
# find-from-browse.png (Ctrl+F over the inventory browse, a serial number);
# PROGRAM defaults to build/app/vorsandt, OUTPUT_DIR to docs/screenshots.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/app/vorsandt}
out=${2:-$root/docs/screenshots}
tag=find-window
# shellcheck source=scripts/xvfb-session.sh
source "$root/scripts/xvfb-session.sh"
session_start
program_start
# Past the welcome window and the Due Soon reminder to the bare frame.
to_bare_frame

xdotool key --window "$frame" ctrl+f
sleep 2
xdotool type --delay 60 "wine"
sleep 1
shoot find-wine.png
xdotool key ctrl+a
xdotool type --delay 60 "kitchen"
sleep 1
shoot find-kitchen.png
xdotool key Escape
sleep 1

# Browse INVENTORY ITEMS, then Ctrl+F over it.
xdotool key --window "$frame" alt+b
sleep 0.5
xdotool key Return
sleep 4
xdotool key ctrl+f
sleep 2
serial=$(awk -F, 'NR == 3 { print $4; exit }' "$root/resources/sample-data/ITEMS.csv")
xdotool type --delay 60 "${serial:0:6}"
sleep 1
shoot find-from-browse.png
xdotool key Escape
sleep 1
xdotool key ctrl+F4
sleep 1
program_exit
