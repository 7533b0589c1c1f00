# The desktop program on a virtual display of its own, over a temporary copy
# of the sample household, for the scripts that take its pictures
# (screenshots.sh, window-tour.sh). Sourced, after `root`, `program`, `out`
# and `tag` (the name prefixed to messages) are set:
#   session_start   Xvfb at $VORSANDT_SCREEN (1366x768, the default, or
#                   1920x1080) and the sample data in $work/data
#   program_start   the program on it, its frame found ($frame)
#   to_bare_frame   past the welcome window and the Due Soon reminder
#   shoot NAME      the whole screen into $out/NAME
#   program_exit    File > Exit, and the program's end with code 0
# The program saves each picture itself (SIGUSR1 with --screenshot-dir), so
# no X dump tool is needed. No window manager runs on the display: windows
# are given the focus directly, and nothing draws their captions.

fail() {
  echo "$tag: $*" >&2
  exit 1
}

work=""
xvfb_pid=""
program_pid=""
cleanup() {
  if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then kill "$program_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ] && kill -0 "$xvfb_pid" 2>/dev/null; then kill "$xvfb_pid" 2>/dev/null || true; fi
  if [ -n "$work" ]; then rm -rf "$work"; fi
}
trap cleanup EXIT

# Waits up to $2 seconds (in tenths) for the command $1 to succeed.
wait_for() {
  local tries=$(($2 * 10))
  while ! eval "$1" >/dev/null 2>&1; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.1
  done
}

session_start() {
  [ -x "$program" ] || fail "no program at $program (run 'make build' first)"
  # The tables are loaded from inside the data folder: a relative path to
  # the program (and the qvf tool beside it) would no longer lead there.
  program=$(realpath "$program")
  for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
  done
  work=$(mktemp -d)
  # A display of our own: Xvfb picks a free number and writes it to fd 3.
  screen=${VORSANDT_SCREEN:-1366x768}
  case "$screen" in
    1366x768 | 1920x1080) ;;
    *) fail "VORSANDT_SCREEN is 1366x768 or 1920x1080, not $screen" ;;
  esac
  Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  wait_for "[ -s '$work/display' ]" 10 || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  export DISPLAY=":$(head -n1 "$work/display")"
  unset WAYLAND_DISPLAY
  export QT_QPA_PLATFORM=xcb
  # Remembered window geometry and other settings stay inside this run.
  export XDG_CONFIG_HOME="$work/config"
  # A fixed today: the sample household then has services overdue, two due
  # within the month and a policy expiring, and every run shows the same.
  export VORSANDT_TODAY=2026-12-22

  mkdir -p "$work/data"
  cp "$root/README.TXT" "$work/data/README.TXT"
  qvf="$(dirname "$program")/../tools/qvf/qvf"
  [ -x "$qvf" ] || fail "no qvf tool at $qvf (run 'make build' first)"
  "$root/scripts/load-sample-data.sh" "$qvf" "$work/data" >"$work/load.log" 2>&1 ||
    fail "the sample data did not load: $(cat "$work/load.log")"
}

program_start() {
  shots="$work/shots"
  "$program" --data "$work/data" --screenshot-dir "$shots" >"$work/program.log" 2>&1 &
  program_pid=$!
  wait_for "xdotool search --name '^VORSANDT\$'" 30 || fail "the frame did not appear: $(cat "$work/program.log")"
  frame=$(xdotool search --name '^VORSANDT$' | head -n1)
  # No window manager draws the caption on the pictures; check it here.
  [ "$(xdotool getwindowname "$frame")" = "VORSANDT" ] || fail "the frame is not titled VORSANDT"
  echo "$tag: the frame is open, titled VORSANDT"
  xdotool windowfocus --sync "$frame" || true
  sleep 1
}

to_bare_frame() {
  xdotool key --window "$frame" Return
  sleep 2
  # The reminder's Close (Alt+C, which no menu of the frame takes).
  xdotool key --window "$frame" alt+c
  sleep 1
}

count=0
shoot() {
  count=$((count + 1))
  kill -USR1 "$program_pid"
  wait_for "[ -f '$shots/shot-$count.png' ]" 15 || fail "no screenshot $count: $(cat "$work/program.log")"
  mkdir -p "$out"
  cp "$shots/shot-$count.png" "$out/$1"
  echo "$tag: wrote $out/$1"
}

program_exit() {
  xdotool windowfocus --sync "$frame" || true
  xdotool key --window "$frame" alt+f
  sleep 0.3
  xdotool key x
  wait_for "! kill -0 $program_pid" 20 || fail "the program did not end after File > Exit"
  set +e
  wait "$program_pid"
  local rc=$?
  set -e
  program_pid=""
  [ "$rc" -eq 0 ] || fail "the program ended with code $rc: $(cat "$work/program.log")"
  echo "$tag: the program ended with code 0"
}
