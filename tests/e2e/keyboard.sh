#!/usr/bin/env bash
# The magazine read from the keyboard, never clicked: it has the keys as
# soon as it is up (";" opens the console at once), Tab walks the links of
# the main pane and Enter follows the marked one as a click would, the scroll
# keys scroll, Backspace and Alt+Left go back as the right button does (with
# a page's own right-click command), and the keys come back to the page when
# the console, a box or the credits close. Backspace in the console still edits.
#
#   keyboard.sh PAGEMOOR DEMO_DIR
source "$(dirname "$0")/lib.sh"
e2e_init keyboard "$1" "$2"
e2e_start_x
e2e_start_demo

e2e_box 204 96 560 408; PANE=$BOX
e2e_wait_steady "$PANE" welcome

# No click on the magazine: it has the keyboard already.
e2e_wait_active "$E2E_MAIN" 10
[ -z "$(e2e_find_window '^Tarn-Console$')" ] || e2e_fail "the console is open before any key"
e2e_key semicolon
e2e_wait_window '^Tarn-Console$' 10
# The console closes on its own key; the keys are the page's again.
e2e_wait_active "$WIN"
e2e_key semicolon
e2e_wait_no_window '^Tarn-Console$'
e2e_wait_active "$E2E_MAIN"

# Tab to the first link of the welcome page, "Every kind of link"; Enter
# follows it: the page the pane opens itself.
e2e_shot before-tab
e2e_key Tab
e2e_wait_change "$E2E_OUT/before-tab.png" "$PANE" marked 20
e2e_mark
e2e_key Return
e2e_wait_new_log "Main: features.htm"
e2e_wait_change "$E2E_OUT/marked.png" "$PANE" features 2000
e2e_wait_steady "$PANE" features
! e2e_has_new_log "Loading" || e2e_fail "Enter loaded another page: $(e2e_new_log)"

# The scroll keys scroll the long page; nothing is loaded.
e2e_mark
e2e_key Next
e2e_wait_change "$E2E_OUT/features.png" "$PANE" paged 2000
e2e_wait_steady "$PANE" paged
e2e_key Home
e2e_wait_change "$E2E_OUT/paged.png" "$PANE" home 2000
e2e_wait_steady "$PANE" home
e2e_key Down Down Down
e2e_wait_change "$E2E_OUT/home.png" "$PANE" down 50
e2e_quiet_log 300
! e2e_has_new_log "Loading" || e2e_fail "a scroll key loaded a page: $(e2e_new_log)"

# Four anchors, then the first console command link, "load_main about.htm":
# Enter runs it as a click does.
e2e_mark
e2e_key Tab Tab Tab Tab Tab
e2e_key Return
e2e_wait_new_log "Console: Command LOAD_MAIN ABOUT.HTM"
e2e_wait_new_log "Main: Loading about.htm"
e2e_wait_steady "$PANE" about

# Backspace goes back to the page of links.
e2e_mark
e2e_key BackSpace
e2e_wait_new_log "Console: Command GO_BACK_MAIN"
e2e_wait_change "$E2E_OUT/about.png" "$PANE" back 2000
e2e_wait_steady "$PANE" back

# A box from a link, answered: the keys are the page's again. "message" is
# the 22nd link of the page (four anchors, eight commands in the first
# column, ten before it in the second).
e2e_mark
for _ in $(seq 22); do e2e_key Tab; done
e2e_key Return
e2e_wait_new_log "Console: Command MESSAGE"
e2e_answer Information ok
e2e_wait_active "$E2E_MAIN"

# Eight links back, "show credits": the full-screen roll, closed with a
# click; the keys are the page's again.
for _ in $(seq 8); do e2e_key shift+Tab; done
e2e_key Return
e2e_wait_new_log "Console: Command SHOW CREDITS"
e2e_wait_window '^Titulky$'
e2e_quiet_log 300
e2e_click 400 300
e2e_wait_no_window '^Titulky$'
e2e_wait_active "$E2E_MAIN"

# Alt+Left on this page runs its own right-click command: the welcome page.
e2e_mark
e2e_key alt+Left
e2e_wait_new_log "Console: Command LOAD_MAIN INDEX.HTM"
e2e_wait_new_log "Main: Loading index.htm"
e2e_wait_steady "$PANE" index

# Shift+Tab goes round to the last link of the welcome page, the Czech
# version, a console command.
e2e_mark
e2e_key shift+Tab Return
e2e_wait_new_log "Console: Command RUN_SCRIPT CZECH.TXT"
e2e_wait_new_log "System: Ending Script"

# Backspace in the console's input line still edits the line.
e2e_key semicolon
e2e_wait_window '^Tarn-Console$' 10
e2e_wait_active "$WIN"
e2e_mark
e2e_type "load_main tiraz.htmx"
e2e_key BackSpace Return
e2e_wait_new_log "Console: Command LOAD_MAIN TIRAZ.HTM"
e2e_wait_new_log "Main: Loading tiraz.htm"
! e2e_has_new_log "GO_BACK" || e2e_fail "Backspace in the console went back: $(e2e_new_log)"

e2e_end_now
e2e_pass
