#!/usr/bin/env bash
# Pictures of the Summary window over the sample household, to look at
# whether its charts, their labels and figures fit and read well:
#   scripts/summary-window.sh [PROGRAM] [OUTPUT_DIR]
# writes summary.png (Reports > Summary, its last item) and
# summary-location-list.png (Down twice on the location chart, which has the
# focus, and Enter: the list of the third location's items). PROGRAM
# defaults to build/app/vorsandt, OUTPUT_DIR to docs/screenshots;
# VORSANDT_SCREEN=1920x1080 for the larger screen.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/app/vorsandt}
out=${2:-$root/docs/screenshots}
tag=summary-window
# shellcheck source=scripts/xvfb-session.sh
source "$root/scripts/xvfb-session.sh"
session_start
program_start
# Past the welcome window and the Due Soon reminder to the bare frame.
to_bare_frame

xdotool key --window "$frame" alt+r
sleep 0.5
xdotool key Up Return
sleep 3
shoot summary.png
xdotool key Down Down Return
sleep 3
shoot summary-location-list.png
xdotool key ctrl+F4
sleep 1
xdotool key Escape
sleep 1
program_exit
