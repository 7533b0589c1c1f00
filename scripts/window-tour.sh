#!/usr/bin/env bash
# Pictures of the windows a newcomer meets first, at one screen size, to look
# at whether every text shows whole and every list fills its window:
#   inventory-browse.png        Browse INVENTORY ITEMS over the sample household
#   claim-browse.png            Browse INSURANCE CLAIMS
#   item-form-1.png ... -7.png  the first item in its form, each tab in turn
#                               (Ctrl+PgDn moves to the next)
#   location-form.png           the first location in its form
#   service-form.png            the first service record in its form
#   preview-single.png          the inventory report's preview, one page
#   preview-facing.png          two facing pages
#   preview-zoomed.png          the first page zoomed in
#
#   scripts/window-tour.sh [PROGRAM] [OUTPUT_DIR]
# PROGRAM defaults to build/app/vorsandt, OUTPUT_DIR to
# docs/screenshots/SCREEN, where SCREEN is $VORSANDT_SCREEN (1366x768, the
# default, or 1920x1080). Everything is driven by the keyboard.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/app/vorsandt}
out=${2:-$root/docs/screenshots/${VORSANDT_SCREEN:-1366x768}}
tag=window-tour
# shellcheck source=scripts/xvfb-session.sh
source "$root/scripts/xvfb-session.sh"
session_start
program_start

# Past the welcome window and the Due Soon reminder to the bare frame.
to_bare_frame

# Chooses item N (from 1) of the Browse Files menu and waits $2 seconds.
browse_files() {
  xdotool windowfocus --sync "$frame" || true
  xdotool key --window "$frame" alt+b
  sleep 0.5
  # The menu opens on its first item.
  for _ in $(seq 2 "$1"); do xdotool key Down; done
  xdotool key Return
  sleep "$2"
}
# Closes the active child window (a form with nothing changed asks nothing).
close_child() {
  xdotool key ctrl+F4
  sleep 1
}

browse_files 1 5
shoot inventory-browse.png
# Enter is the browse's Change: the first item in its form.
xdotool key Return
sleep 3
for tab in 1 2 3 4 5 6 7; do
  shoot "item-form-$tab.png"
  xdotool key ctrl+Next
  sleep 1
done
close_child
close_child

browse_files 6 3
shoot claim-browse.png
close_child

browse_files 2 3
xdotool key Return
sleep 2
shoot location-form.png
close_child
close_child

browse_files 11 3
xdotool key Return
sleep 2
shoot service-form.png
close_child
close_child

# Reports > Master Inventory (its first item).
xdotool windowfocus --sync "$frame" || true
xdotool key --window "$frame" alt+r
sleep 0.5
xdotool key Return
wait_for "xdotool search --name '^Print Preview\$'" 30 || fail "the report preview did not appear"
preview=$(xdotool search --name '^Print Preview$' | head -n1)
xdotool windowfocus --sync "$preview" || true
sleep 2
shoot preview-single.png
xdotool key --window "$preview" alt+f
sleep 1.5
shoot preview-facing.png
xdotool key --window "$preview" alt+f
sleep 1
xdotool key --window "$preview" alt+z
sleep 1.5
shoot preview-zoomed.png
xdotool key --window "$preview" alt+c
wait_for "! xdotool search --name '^Print Preview\$'" 10 || fail "Cancel did not close the report preview"

program_exit
