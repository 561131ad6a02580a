#!/usr/bin/env bash
# Boxes on a large screen (1600 x 1200, the design drawn twice as large): the
# console opened with ";" is twice its size; a command typed without its
# parameter raises an information box that has the keyboard and stands above
# the magazine, in its middle, twice the size of a box at the design size; a
# click on its scaled OK button answers it, and the console has the keyboard
# and the front again.
#
#   boxes.sh PAGEMOOR DEMO_DIR
source "$(dirname "$0")/lib.sh"
e2e_init boxes "$1" "$2"
e2e_start_x 1600x1200
e2e_start_demo

e2e_geometry "$E2E_MAIN"
[ "$GEO_W" = 1600 ] && [ "$GEO_H" = 1200 ] || e2e_fail "the magazine is not full screen (${GEO_W}x$GEO_H)"
MAIN_CX=$((GEO_X + GEO_W / 2)) MAIN_CY=$((GEO_Y + GEO_H / 2))

# The console is 250 x 200 with its frame at the design size: twice that here.
e2e_click 500 480
e2e_wait_active "$E2E_MAIN"
e2e_key semicolon
e2e_wait_window '^Tarn-Console$' 10
CONSOLE=$WIN
e2e_geometry "$CONSOLE"
e2e_note "console ${GEO_W}x$GEO_H"
[ "$GEO_W" -ge 460 ] && [ "$GEO_W" -le 500 ] && [ "$GEO_H" -ge 340 ] && [ "$GEO_H" -le 400 ] ||
  e2e_fail "the console is ${GEO_W}x$GEO_H, not about twice 250 x 200"
e2e_wait_active "$CONSOLE"

# "show" needs the window to show: an information box says so.
e2e_mark
e2e_type "show"
e2e_key Return
e2e_wait_new_log "Console: Command SHOW"
e2e_wait_window '^Information$' 20
BOX=$WIN
e2e_shot box
# It has the keyboard, also where no window manager gives it.
e2e_wait_active "$BOX"
if e2e_has_wm; then
  e2e_above "$BOX" "$E2E_MAIN" || e2e_fail "the box is behind the magazine"
fi
[ "$(xwininfo -id "$BOX" | sed -n 's/.*Map State: *//p')" = IsViewable ] || e2e_fail "the box is not shown"
e2e_geometry "$BOX"
e2e_note "box ${GEO_W}x$GEO_H at $GEO_X,$GEO_Y"
# Its frame (a title bar) may move the client a little from the middle.
off_x=$((GEO_X + GEO_W / 2 - MAIN_CX)) off_y=$((GEO_Y + GEO_H / 2 - MAIN_CY))
slack=4
e2e_has_wm && slack=30
[ "${off_x#-}" -le "$slack" ] && [ "${off_y#-}" -le "$slack" ] ||
  e2e_fail "the box's middle is $off_x,$off_y from the magazine's"
# At the design size this box is about 290 x 80.
[ "$GEO_W" -ge 460 ] && [ "$GEO_H" -ge 140 ] || e2e_fail "the box is ${GEO_W}x$GEO_H, not scaled"

# Answered with a click on OK (at twice its distance from the corner).
e2e_answer Information ok
e2e_box_scale
[ "$BOX_SCALE" = 2 ] || e2e_fail "the boxes were answered at scale $BOX_SCALE"

# The console the box came from has the keyboard again and is in front.
e2e_wait_active "$CONSOLE"
if e2e_has_wm; then
  e2e_quiet_log 300
  e2e_above "$CONSOLE" "$E2E_MAIN" || e2e_fail "the console is behind the magazine after the box"
fi
e2e_mark
e2e_type "toggle_console"
e2e_key Return
e2e_wait_new_log "Console: Command TOGGLE_CONSOLE"
e2e_wait_no_window '^Tarn-Console$'

e2e_end_now
e2e_pass
