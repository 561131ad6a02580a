#!/usr/bin/env bash
# The console: opened with ";" from the page, a command typed into it that
# loads a page, closed with a typed toggle_console; opened again with "~"
# and closed with its frame's close button; the console button at the top
# left opens it too.
#
#   console.sh PAGEMOOR DEMO_DIR
source "$(dirname "$0")/lib.sh"
e2e_init console "$1" "$2"
e2e_start_x
e2e_start_demo

e2e_box 204 96 560 408; PANE=$BOX
e2e_wait_steady "$PANE" welcome

# ";" on the page opens the console, its input line takes the keys.
e2e_click 500 480
e2e_wait_active "$E2E_MAIN"
[ -z "$(e2e_find_window '^Tarn-Console$')" ] || e2e_fail "the console is open before any key"
e2e_key semicolon
e2e_wait_window '^Tarn-Console$' 10
CONSOLE=$WIN
e2e_mark
e2e_type "load_main tiraz.htm"
e2e_key Return
e2e_wait_new_log "Console: Command LOAD_MAIN TIRAZ.HTM"
e2e_wait_new_log "Main: Loading tiraz.htm"
e2e_wait_change "$E2E_OUT/welcome.png" "$PANE" tiraz 5000

# A command the console does not know is logged and answered with a box,
# and changes nothing.
e2e_mark
e2e_type "no_such_command"
e2e_key Return
e2e_wait_new_log "Console: Bad Command (no_such_command)"
e2e_answer Information ok
! e2e_has_new_log "Loading" || e2e_fail "an unknown command loaded a page"
# The box was the console's: the console stays in front of the magazine.
e2e_quiet_log 300
e2e_above "$CONSOLE" "$E2E_MAIN" || e2e_fail "the console is behind the magazine after the box"
# ";" on the page brings it to the front in any case (typed into the console
# it would close it: the page is clicked first).
e2e_click 500 480
e2e_wait_active "$E2E_MAIN"
e2e_key semicolon
for _ in $(seq 30); do e2e_above "$CONSOLE" "$E2E_MAIN" && break; sleep 0.1; done
e2e_above "$CONSOLE" "$E2E_MAIN" || e2e_fail "\";\" does not bring the console to the front"

# toggle_console typed into its input line (clicked, the old text replaced)
# closes it.
e2e_geometry "$CONSOLE"
e2e_click_in "$CONSOLE" $((GEO_W / 2)) $((GEO_H - 12))
e2e_key ctrl+a
e2e_type "toggle_console"
e2e_key Return
e2e_wait_new_log "Console: Command TOGGLE_CONSOLE"
e2e_wait_no_window '^Tarn-Console$'

# "~" on the page opens it again; its frame's close button closes it.
e2e_click 500 480
e2e_wait_active "$E2E_MAIN"
e2e_key asciitilde
e2e_wait_window '^Tarn-Console$' 10
e2e_close_box "$WIN"
e2e_wait_no_window '^Tarn-Console$'

# The console button at the top left (0,0 17x17) toggles it. Closed with the
# close button, the console is closed for the button too: one click opens it.
e2e_click 8 8
opened_by_one_click() { e2e_wait_window '^Tarn-Console$' 3; }
e2e_pending "one click on the console button opens the console closed with its close button" opened_by_one_click
[ -n "$(e2e_find_window '^Tarn-Console$')" ] || e2e_click 8 8
e2e_wait_window '^Tarn-Console$' 10
e2e_click 8 8
e2e_wait_no_window '^Tarn-Console$'
e2e_click 8 8
e2e_wait_window '^Tarn-Console$' 10

e2e_end_now
e2e_pass
