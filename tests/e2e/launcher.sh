#!/usr/bin/env bash
# The launcher, as a reader meets it: the demo chosen in the list and started
# with "Spustit Projekt", with Enter and with a double click on the entry; the
# launcher closed with "Zavřít" and with the close button of its frame (when
# a window manager gives it one), each time ending the program with nothing
# left behind and no fatal message.
#
#   launcher.sh PAGEMOOR DEMO_DIR
source "$(dirname "$0")/lib.sh"
e2e_init launcher "$1" "$2"
e2e_start_x

# The program has ended by itself with 0, leaving no file in TEMP and having
# shown no box.
ended_cleanly() {
  e2e_wait_exit 20
  [ "$E2E_EXIT_CODE" = 0 ] || e2e_fail "$1: the program ended with $E2E_EXIT_CODE"
  local left
  left=$(find "$E2E_TEMP" -mindepth 1 ! -type d)
  [ -z "$left" ] || e2e_fail "$1: files left in TEMP: $left"
  ! grep -q "FATAL ERROR" "$E2E_LOG" "$E2E_WORK/stderr.txt" 2>/dev/null || e2e_fail "$1: a fatal error was reported"
  e2e_has_log "System: Closing Launcher ..." || e2e_fail "$1: the launcher did not close"
  e2e_has_log "System: Terminate ..." || e2e_fail "$1: the launcher did not end the program"
  ! e2e_has_log "System: Starting project" || e2e_fail "$1: a project was started"
}

# Watches for any box while the program ends; a fatal message would stop it
# from ending, and its window would be on the screen.
no_box_while_ending() {
  for _ in $(seq 30); do
    e2e_running || return 0
    [ -z "$(e2e_find_window "^Information$")" ] || e2e_fail "$1: an Information box came up while the program ended (the screenshot shows its text)"
    sleep 0.1
  done
}

fresh_start() {
  rm -rf "$E2E_WORK/state" "$E2E_TEMP"
  mkdir -p "$E2E_WORK/state" "$E2E_TEMP"
  e2e_start_program
  e2e_launcher
}

# --- "Zavřít" ---
fresh_start
e2e_shot launcher
# The demo is listed; choosing it shows its author.
e2e_click_in "$LAUNCHER" $E2E_LAUNCHER_ENTRY
e2e_wait_log "System: Project file: DEMO.UNP"
e2e_click_in "$LAUNCHER" $E2E_LAUNCHER_CLOSE
no_box_while_ending "Zavřít"
ended_cleanly "Zavřít"
e2e_note "Zavřít ends the program"

# --- The frame's close button ---
if e2e_has_wm; then
  fresh_start
  e2e_close_box "$LAUNCHER"
  no_box_while_ending "close button"
  ended_cleanly "close button"
  e2e_note "the frame's close button ends the program"
fi

# --- The demo started with a click on "Spustit Projekt" ---
fresh_start
e2e_click_in "$LAUNCHER" $E2E_LAUNCHER_ENTRY
e2e_click_in "$LAUNCHER" $E2E_LAUNCHER_RUN
e2e_wait_log "System: Starting project DEMO.UNP"
e2e_magazine
e2e_wait_no_window '^Pagemoor - version'
[ -f "$E2E_PROJECT_DIR/ini/main.ini" ] || e2e_fail "the demo was not unpacked to $E2E_PROJECT_DIR"
e2e_end_now
e2e_note "Spustit Projekt starts the demo"

# --- Enter and a double click on the entry ---
# The demo starts (the magazine comes up) and the reading ends as usual.
started_and_ended() {
  e2e_wait_log "System: Starting project DEMO.UNP" 5
  e2e_wait_window '^Pagemoor Demo$' 20
  e2e_wait_log "System: Ending Script" 30
  e2e_end_now
  e2e_note "$1 starts the demo"
}
fresh_start
e2e_click_in "$LAUNCHER" $E2E_LAUNCHER_ENTRY
e2e_wait_log "System: Project file: DEMO.UNP"
e2e_wait_active "$LAUNCHER"
e2e_key Return
started_and_ended "Enter on the chosen entry"

fresh_start
e2e_geometry "$LAUNCHER"
xdotool mousemove --sync $((GEO_X + ${E2E_LAUNCHER_ENTRY% *})) $((GEO_Y + ${E2E_LAUNCHER_ENTRY#* })) \
  click --repeat 2 --delay 60 1 || e2e_fail "cannot double-click the entry"
started_and_ended "a double click on the entry"

e2e_pass
