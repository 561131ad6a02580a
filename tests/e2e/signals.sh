#!/usr/bin/env bash
# The end of a reading at any moment leaves nothing behind: SIGTERM at the
# launcher closes it and removes its log; SIGTERM while the window is stuck
# (the interface thread held busy by the test hook) still ends the program
# within 2 s with the project removed; a reading killed outright leaves its
# project, and the next start removes it before the launcher is shown and
# says so in the reading's log.
#
#   signals.sh PAGEMOOR DEMO_DIR
source "$(dirname "$0")/lib.sh"
e2e_init signals "$1" "$2"
e2e_start_x

nothing_left() {
  local left
  left=$(find "$E2E_TEMP" -mindepth 1 ! -type d)
  [ -z "$left" ] || e2e_fail "$1: files left in TEMP: $left"
  [ ! -e "$E2E_PROJECT_DIR" ] || e2e_fail "$1: the project folder is left behind"
}

# --- at the launcher ---
e2e_start_program
e2e_launcher
kill -TERM "$E2E_PROGRAM_PID"
e2e_wait_exit 5
[ "$E2E_EXIT_CODE" = 0 ] || e2e_fail "launcher: the program ended with $E2E_EXIT_CODE"
nothing_left launcher

# --- a stuck window ---
export PAGEMOOR_TEST_STALL_MS=60000
e2e_start_program
unset PAGEMOOR_TEST_STALL_MS
e2e_launcher
e2e_click_in "$LAUNCHER" $E2E_LAUNCHER_ENTRY
e2e_click_in "$LAUNCHER" $E2E_LAUNCHER_RUN
for _ in $(seq 100); do
  grep -qF "[test] the interface thread stalls" "$E2E_WORK/stderr.txt" && break
  sleep 0.1
done
grep -qF "[test] the interface thread stalls" "$E2E_WORK/stderr.txt" || e2e_fail "the test hook did not stall the window"
[ -d "$E2E_PROJECT_DIR" ] || e2e_fail "no project folder while reading"
started=$(date +%s%N)
kill -TERM "$E2E_PROGRAM_PID"
e2e_wait_exit 10
took=$((($(date +%s%N) - started) / 1000000))
e2e_note "a stuck reading ended ${took} ms after SIGTERM"
[ "$E2E_EXIT_CODE" = 0 ] || e2e_fail "stuck: the program ended with $E2E_EXIT_CODE"
[ "$took" -lt 3000 ] || e2e_fail "stuck: the program took ${took} ms to end"
grep -qF "the end signal was not answered in time" "$E2E_WORK/stderr.txt" ||
  e2e_fail "stuck: the watchdog did not say it ended the program"
nothing_left stuck

# --- killed outright, then started again ---
e2e_start_demo
kill -KILL "$E2E_PROGRAM_PID"
wait "$E2E_PROGRAM_PID" 2>/dev/null
E2E_PROGRAM_PID=""
[ -d "$E2E_PROJECT_DIR" ] || e2e_fail "killed: the project folder should still be there"
e2e_start_program
e2e_launcher
[ ! -e "$E2E_PROJECT_DIR" ] || e2e_fail "killed: the next start left the old project folder"
e2e_click_in "$LAUNCHER" $E2E_LAUNCHER_ENTRY
e2e_click_in "$LAUNCHER" $E2E_LAUNCHER_RUN
e2e_magazine
e2e_wait_log "System: Removed the project folder"
e2e_end_now
nothing_left restart
e2e_pass
