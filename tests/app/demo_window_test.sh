#!/usr/bin/env bash
# The demo magazine in a real window: an X server of its own (Xvfb, 800 x 600,
# so full screen shows the design one to one), the launcher and the magazine
# clicked with xdotool where a reader would click, the screen compared with
# stored screenshots within a tolerance, and the log checked.
#
#   demo_window_test.sh PAGEMOOR DEMO_DIR REFERENCE_DIR [OUTPUT_DIR]
#
# The screenshots taken are left in OUTPUT_DIR (default: a temporary folder
# that is removed). UPDATE_SCREENSHOTS=1 stores them as the new references.
set -uo pipefail

program=$1 demo_dir=$2 reference_dir=$3
work=$(mktemp -d)
out=${4:-$work/screens}
mkdir -p "$out" "$work/prog" "$work/tmp" "$work/state" "$work/run"
chmod 700 "$work/run"
cp "$demo_dir/DEMO.UNP" "$demo_dir/DEMO.ZIP" "$work/prog/"
log="$work/state/pagemoor/MAG_EXE_(Tarn-Console).log"
xvfb_pid="" program_pid=""

cleanup() {
  [ -n "$program_pid" ] && kill -KILL "$program_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  echo "--- log:"; cat "$log" 2>/dev/null | grep -v 'Command added'
  echo "--- stderr:"; cat "$work/stderr.txt" 2>/dev/null
  exit 1
}

# Waits (at most 30 s) until the log holds the text.
wait_for_log() {
  for _ in $(seq 300); do
    grep -qF -- "$1" "$log" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "no log line \"$1\""
}

# Takes a screenshot and compares it with the stored one: at most 1 % of the
# pixels may differ by more than 10 % (the page shows today's date and time).
check_screen() {
  local name=$1
  sleep 1
  import -display ":$display" -window root "$out/$name.png" || fail "no screenshot $name"
  if [ "${UPDATE_SCREENSHOTS:-0}" = 1 ]; then
    cp "$out/$name.png" "$reference_dir/$name.png"
    return
  fi
  local differing
  differing=$(compare -metric AE -fuzz 10% "$reference_dir/$name.png" "$out/$name.png" "$out/$name-diff.png" 2>&1 >/dev/null)
  differing=${differing%% *}
  echo "$name: $differing pixels differ"
  [ "${differing%.*}" -le 4800 ] 2>/dev/null || fail "$name looks different ($differing pixels; see $out)"
}

click() {
  xdotool mousemove --sync "$1" "$2" click 1 || fail "cannot click at $1,$2"
}

# An X server of our own on a free display.
exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 10 display <&"$fd" || fail "Xvfb did not start"
export DISPLAY=":$display"
# A real window, whatever the calling test run asked of Qt.
export QT_QPA_PLATFORM=xcb
unset PAGEMOOR_SCRIPTED_UI PAGEMOOR_ANSWERS

TEMP="$work/tmp" XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" \
  PAGEMOOR_AUDIO=null "$program" --program="$work/prog/MAG.EXE" 2>"$work/stderr.txt" &
program_pid=$!

# Waits (at most 30 s) until a window with this title is on the screen.
wait_for_window() {
  for _ in $(seq 300); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  fail "no window \"$1\""
}

# The launcher: the demo's entry, then "Spustit Projekt".
wait_for_log "System: Starting Launcher ..."
wait_for_window '^Pagemoor - version'
sleep 0.5
click 253 244
click 400 464

# The start script has laid out the panes, pictures and buttons.
wait_for_log "System: Reset Complete"
wait_for_log "Main: Loading index.htm"
check_screen demo-start
# The window is titled with the magazine's name, exactly.
xdotool search --onlyvisible --name '^Pagemoor Demo$' >/dev/null || fail "no window titled \"Pagemoor Demo\""

# A link in the left pane's menu.
click 57 163
wait_for_log "Main: Loading about.htm"
check_screen demo-about

# The image button "Home" runs the English script again; the mouse stays on
# it, so it shows its lit frame.
click 56 543
wait_for_log "Console: Command RUN_SCRIPT ENGLISH.TXT"
wait_for_log "System: Ending Script"
check_screen demo-home

# The end: as the command "exit now" would, on a signal.
kill -TERM "$program_pid"
wait "$program_pid"
code=$?
program_pid=""
[ "$code" = 0 ] || fail "the program ended with $code"
grep -qF "System: Shutdown Completed" "$log" || fail "no shutdown lines"
[ ! -e "$work/tmp/pagemoor-$(id -u)/MAG_EXE" ] || fail "the project folder is left behind"
echo "PASS"
