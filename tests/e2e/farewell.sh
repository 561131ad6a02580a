#!/usr/bin/env bash
# The end of a reading: "Exit" asks one of the magazine's farewell questions
# (end.ini); "No" keeps the magazine open, "Yes" ends the program with 0,
# the unpacked project removed and nothing left in TEMP.
#
#   farewell.sh PAGEMOOR DEMO_DIR
source "$(dirname "$0")/lib.sh"
e2e_init farewell "$1" "$2"
e2e_require unzip iconv
e2e_start_x
e2e_start_demo
[ -d "$E2E_PROJECT_DIR" ] || e2e_fail "no unpacked project at $E2E_PROJECT_DIR"

# The "Exit" button: the question, answered "No".
e2e_mark
e2e_click 576 543
e2e_wait_new_log "Console: Command EXIT"
e2e_answer Confirm no
e2e_quiet_log 500
e2e_running || e2e_fail "the program ended although the reader said No"
! e2e_has_new_log "Shutdown" || e2e_fail "the program shuts down although the reader said No"
e2e_mark
e2e_click 57 163
e2e_wait_new_log "Main: Loading about.htm"

# "Exit" in the top strip: asked again, answered "Yes".
e2e_mark
e2e_click 775 53
e2e_wait_new_log "Console: Command EXIT"
e2e_answer Confirm yes
e2e_wait_exit 20
[ "$E2E_EXIT_CODE" = 0 ] || e2e_fail "the program ended with $E2E_EXIT_CODE"
question=$(e2e_new_log | sed -n 's/^End: //p' | head -n 1)
[ -n "$question" ] || e2e_fail "no farewell question in the log"
# end.ini as the demo packs it, in windows-1250 unless it is UTF-8 already.
unzip -p "$E2E_DEMO_DIR/DEMO.ZIP" ini/end.ini | tr -d '\r' >"$E2E_WORK/end.ini" || e2e_fail "no end.ini in DEMO.ZIP"
if ! iconv -f UTF-8 -t UTF-8 "$E2E_WORK/end.ini" >/dev/null 2>&1; then
  iconv -f WINDOWS-1250 -t UTF-8 "$E2E_WORK/end.ini" >"$E2E_WORK/end.txt" || e2e_fail "end.ini is neither UTF-8 nor windows-1250"
  mv "$E2E_WORK/end.txt" "$E2E_WORK/end.ini"
fi
grep -qxF "$question" "$E2E_WORK/end.ini" || e2e_fail "the question \"$question\" is not one of end.ini's"
e2e_has_new_log "System: Shutdown Completed" || e2e_fail "no shutdown in the log"
[ ! -e "$E2E_PROJECT_DIR" ] || e2e_fail "the project folder is left behind: $E2E_PROJECT_DIR"
left=$(find "$E2E_TEMP" -mindepth 1 ! -type d)
[ -z "$left" ] || e2e_fail "files left in TEMP: $left"
e2e_pass
