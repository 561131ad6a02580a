#!/usr/bin/env bash
# A GIF inside a page animates: the Czech welcome page ("Česky") shows a
# lantern beside the logo, and its flame flickers at the file's own pace
# (150 ms a frame) while the rest of the page keeps still.
#
#   page_gif.sh PAGEMOOR DEMO_DIR
source "$(dirname "$0")/lib.sh"
e2e_init page_gif "$1" "$2"
e2e_start_x
e2e_start_demo

# Button 3, "Česky" (run_script czech.txt), at 216,526 96x36.
e2e_mark
e2e_click 264 544
e2e_wait_new_log "Main: Loading uvod.htm"
e2e_wait_new_log "System: Ending Script"
e2e_quiet_log 300

# The lantern (lucerna.gif, 32 x 48) stands beside the logo at the top of
# the page; below the logo's row the page is text and a still picture.
e2e_box 372 96 48 64; LANTERN=$BOX
e2e_box 204 170 560 330; REST=$BOX

# One frame and the next a frame's delay later, and on again: the flame
# keeps going and nothing else moves.
e2e_shot lantern-1
e2e_wait_change "$E2E_OUT/lantern-1.png" "$LANTERN" lantern-2 20 5
e2e_wait_change "$E2E_OUT/lantern-2.png" "$LANTERN" lantern-3 20 5
n=$(e2e_changed "$E2E_OUT/lantern-1.png" "$SHOT" "$REST")
[ "$n" -le 5 ] || e2e_fail "the page around the lantern changed too ($n pixels)"

e2e_end_now
e2e_pass
