#!/usr/bin/env bash
# Takes the screenshots of the desktop program shown in the README:
#   docs/screenshots/splash.png             the welcome window over the frame
#   docs/screenshots/due-soon.png           the Due Soon reminder that follows
#                                           the welcome window
#   docs/screenshots/frame.png              the frame after the reminder
#   docs/screenshots/browse-files-menu.png  the Browse Files menu open, its
#                                           first item's message in the status bar
#   docs/screenshots/browse-items.png       that item chosen: the inventory's
#                                           browse over the sample household
#   docs/screenshots/report-preview-facing.png  the inventory report's preview,
#                                           two facing pages
#   docs/screenshots/coverage-check-preview.png  the coverage check's preview,
#                                           its first page zoomed in
#   docs/screenshots/update-items.png       the second item opened with Change
#                                           in the UpdateItems form
#   docs/screenshots/help-window.png        F1 in that form: the manual at the
#                                           form's section
#   docs/screenshots/picture-browse.png     Browse INVENTORY IMAGES showing the
#                                           picture scripts/make-sample-picture.py
#                                           draws for the television
#   docs/screenshots/query-by-example.png   the query program (morvak) on a
#                                           saved query over ITEMS and LOCATIONS
#   docs/screenshots/delete-question.png    deleting the Bathroom: the second
#                                           question, what goes with it
#   docs/screenshots/entry-error.png        a day the calendar lacks typed into
#                                           DATE BOUGHT, refused in words
# It starts a virtual X display (Xvfb), runs the built program on a temporary
# data folder holding the sample household (resources/sample-data, loaded with
# the qvf tool built beside the program), drives the menus with the keyboard
# through xdotool, and asks the program for each picture (scripts/
# xvfb-session.sh). Finally it chooses File > Exit and checks that the
# program ends with code 0.
#
#   scripts/screenshots.sh [PROGRAM] [OUTPUT_DIR]
# PROGRAM defaults to build/app/vorsandt, OUTPUT_DIR to docs/screenshots.
# The virtual screen is 1366x768 (a common laptop screen); VORSANDT_SCREEN
# names another size (1920x1080), where the one mouse click of the run (the
# form's Cancel) is found at its place on that screen.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/app/vorsandt}
out=${2:-$root/docs/screenshots}

tag=screenshots
# shellcheck source=scripts/xvfb-session.sh
source "$root/scripts/xvfb-session.sh"
session_start
# Where the form's Cancel lies on each screen (the one mouse click).
case "$screen" in
  1366x768) cancel_at="1062 638" ;;
  1920x1080) cancel_at="1560 919" ;;
esac

# --- The picture browse's photograph (begin) ---
# The sample household names no picture files. For the picture browse's
# screenshot, the first item (the television) names one drawn at this point
# by scripts/make-sample-picture.py; only this run's copy of ITEMS changes,
# exported, given the file name and imported again with the qvf tool.
python3 "$root/scripts/make-sample-picture.py" "$work/data/LIVINGTV.PNG" ||
  fail "the sample picture could not be drawn"
qvf=$(realpath "$qvf")
(cd "$work/data" && "$qvf" export ITEMS --out "$work/items.csv") >>"$work/load.log" 2>&1 ||
  fail "the sample items could not be exported: $(cat "$work/load.log")"
sed '2s/,,\r\{0,1\}$/,LIVINGTV.PNG,Living room TV/' "$work/items.csv" >"$work/items-picture.csv"
grep -q '^1,.*,LIVINGTV.PNG,' "$work/items-picture.csv" || fail "the first sample item did not take the picture's name"
rm "$work/data/ITEMS.QVF"
(cd "$work/data" && "$qvf" import ITEMS "$work/items-picture.csv") >>"$work/load.log" 2>&1 ||
  fail "the sample items did not load again: $(cat "$work/load.log")"
# --- The picture browse's photograph (end) ---
program_start

# The welcome window comes first and holds the frame until Continue.
sleep 1
shoot splash.png
xdotool key --window "$frame" Return
sleep 1
# On that day the Due Soon reminder (a window inside the frame) follows the
# welcome window; its Close (Alt+C, which no menu of the frame takes) leaves
# the frame alone.
sleep 1
shoot due-soon.png
xdotool key --window "$frame" alt+c
sleep 1
shoot frame.png

# Alt+B opens "&Browse Files"; Down highlights its first item, whose message
# the status bar then shows.
xdotool key --window "$frame" alt+b
sleep 0.5
xdotool key Down Up
sleep 0.5
shoot browse-files-menu.png

# Enter on the first item of Browse Files starts the browse, which opens
# over the sample data inside the frame (which took most of the screen at
# its first start) and fills its first page.
xdotool key Escape Escape
sleep 0.5
xdotool key --window "$frame" alt+b
sleep 0.5
xdotool key Down Up Return
# The browse reads its first page, then every record once for its totals.
sleep 5
shoot browse-items.png

# The inventory report from Reports > Master Inventory: the progress window
# closes by itself and the preview shows page 1; Facing Pages then shows the
# first pair, and Next Page the pair (2 | 3). Cancel closes the preview.
xdotool key Escape
sleep 0.3
xdotool key --window "$frame" alt+r
sleep 0.5
xdotool key Down Up Return
wait_for "xdotool search --name '^Print Preview\$'" 30 || fail "the report preview did not appear"
preview=$(xdotool search --name '^Print Preview$' | head -n1)
xdotool windowfocus --sync "$preview" || true
sleep 1
xdotool key --window "$preview" alt+f
sleep 0.5
xdotool key --window "$preview" alt+n
sleep 1
shoot report-preview-facing.png
xdotool windowfocus --sync "$preview" || true
xdotool key --window "$preview" alt+c
wait_for "! xdotool search --name '^Print Preview\$'" 10 || fail "Cancel did not close the report preview"
xdotool windowfocus --sync "$frame" || true
sleep 0.5

# The coverage check from Reports > Coverage Check (the third item): its
# preview's first page zoomed in, then Cancel.
xdotool key --window "$frame" alt+r
sleep 0.5
xdotool key Down Down Return
wait_for "xdotool search --name '^Print Preview\$'" 30 || fail "the coverage check's preview did not appear"
preview=$(xdotool search --name '^Print Preview$' | head -n1)
xdotool windowfocus --sync "$preview" || true
sleep 1
xdotool key --window "$preview" alt+z
sleep 1
shoot coverage-check-preview.png
xdotool key --window "$preview" alt+c
wait_for "! xdotool search --name '^Print Preview\$'" 10 || fail "Cancel did not close the coverage check's preview"
xdotool windowfocus --sync "$frame" || true
sleep 0.5

# --- UpdateItems over the sample data (begin) ---
# The inventory's browse is still open: Down selects its second row, and
# Alt+C (Change) opens that item in the UPDATE INVENTORY ITEMS form; Cancel
# leaves it without a change.
xdotool windowfocus --sync "$frame" || true
sleep 0.5
xdotool key --window "$frame" Down
sleep 0.5
xdotool key --window "$frame" alt+c
sleep 5
shoot update-items.png
# --- The help window (begin) ---
# F1 in the form opens the manual at the form's own section, in a window of
# its own beside the frame; Esc closes it, and the form has the keys again.
xdotool key --window "$frame" F1
wait_for "xdotool search --onlyvisible --name '^VORSANDT Help\$'" 10 || fail "F1 did not open the help window"
sleep 2
shoot help-window.png
help=$(xdotool search --onlyvisible --name '^VORSANDT Help$' | head -n1)
xdotool windowfocus --sync "$help" || true
# Typed, not sent to the window: it is gone before the key is released.
xdotool key Escape
wait_for "! xdotool search --onlyvisible --name '^VORSANDT Help\$'" 10 || fail "Esc did not close the help window"
xdotool windowfocus --sync "$frame" || true
sleep 0.5
# --- The help window (end) ---
# The form's Cancel has no mnemonic and Escape stays in the form: click it
# where the form opens on this screen, bottom right of the frame.
# shellcheck disable=SC2086
xdotool mousemove $cancel_at click 1
sleep 1
xdotool windowfocus --sync "$frame" || true
sleep 0.5
# --- UpdateItems over the sample data (end) ---

# --- The picture browse (begin) ---
# Browse Files > Browse INVENTORY IMAGES (the fourth item) lists the items
# with their picture's file name and shows the selected one's picture; the
# first row is the television whose picture was drawn before the start.
xdotool key --window "$frame" alt+b
sleep 0.5
xdotool key Down Down Down Return
sleep 4
shoot picture-browse.png
# --- The picture browse (end) ---

# --- Query by example (begin) ---
# Browse Files > QUERY BY EXAMPLE (the item above Inventory Check, the last) starts the query program,
# morvak, without waiting: its window opens beside the frame, which goes on.
# Its Close ends it. Then morvak runs by itself on a query saved in the data
# folder (ITEMS joined to LOCATIONS, two conditions), whose rows the picture
# shows; the frame's own screen picture catches its window.
xdotool windowfocus --sync "$frame" || true
xdotool key --window "$frame" alt+b
sleep 0.5
xdotool key Up Up Return
wait_for "xdotool search --name '^Query by Example\$'" 20 || fail "QUERY BY EXAMPLE did not open the query window"
query=$(xdotool search --name '^Query by Example$' | head -n1)
xdotool windowfocus --sync "$query" || true
xdotool key --window "$query" alt+c
wait_for "! xdotool search --name '^Query by Example\$'" 10 || fail "Close did not end the query window"
cat >"$work/data/Kitchen or garage.qry" <<'QUERY'
table ITEMS
join LOCATIONS
order ITE:LOC
example ITE:PRICE_PAID 50..500
example LOC:LOCATION Kitchen OR Garage*
QUERY
"$(dirname "$program")/morvak" --data "$work/data" --open "Kitchen or garage" >"$work/morvak.log" 2>&1 &
morvak_pid=$!
wait_for "xdotool search --name '^Query by Example\$'" 20 || fail "morvak --open did not open its window: $(cat "$work/morvak.log")"
sleep 3
shoot query-by-example.png
query=$(xdotool search --name '^Query by Example$' | head -n1)
xdotool windowfocus --sync "$query" || true
xdotool key --window "$query" alt+c
wait_for "! kill -0 $morvak_pid" 10 || fail "morvak did not end after Close"
xdotool windowfocus --sync "$frame" || true
sleep 0.5
# --- Query by example (end) ---

# --- The second delete question (begin) ---
# Browse Files > Browse ITEM LOCATIONS (its second item) opens on the
# Bathroom; Alt+D asks to delete it. OK (Shift+Tab from the default Cancel,
# then Space) brings the second question, which lists what goes with the
# location; Escape answers Cancel there and nothing is deleted.
xdotool windowfocus --sync "$frame" || true
xdotool key --window "$frame" alt+b
sleep 0.5
xdotool key Down Return
sleep 3
xdotool key --window "$frame" alt+d
sleep 1
xdotool key shift+Tab space
sleep 2
shoot delete-question.png
xdotool key Escape
sleep 1
# --- The second delete question (end) ---

# --- An entry's refusal in words (begin) ---
# Browse Files > Browse INVENTORY ITEMS again, Alt+C on its first item: in
# the form, five Tabs from the item code reach DATE BOUGHT, where a day the
# calendar lacks is typed; Tab completes the entry, which refuses it and
# says why. Enter closes the message, and the form's Cancel closes the form.
xdotool windowfocus --sync "$frame" || true
xdotool key --window "$frame" alt+b
sleep 0.5
xdotool key Down Up Return
sleep 5
xdotool key --window "$frame" alt+c
sleep 4
xdotool key Tab Tab Tab Tab Tab ctrl+a
xdotool type --delay 50 "31/02/26"
xdotool key Tab
sleep 2
shoot entry-error.png
xdotool key Return
sleep 1
# The form's Cancel, where the form opens on this screen (as above).
# shellcheck disable=SC2086
xdotool mousemove $cancel_at click 1
sleep 1
# --- An entry's refusal in words (end) ---

# Leave through File > Exit, which closes the browse with the frame.
program_exit
