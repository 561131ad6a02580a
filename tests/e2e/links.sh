#!/usr/bin/env bash
# The page with every kind of link: a console command link, anchors, a .wav
# link, a plain page link, and the right click that goes back (and the one
# that runs the page's own command). Each is checked by what it does: the
# log, the pane's pixels, the sound.
#
#   links.sh PAGEMOOR DEMO_DIR
source "$(dirname "$0")/lib.sh"
e2e_init links "$1" "$2"
e2e_disk_audio
e2e_start_x
e2e_start_demo

# Design rectangles: the title picture and the main pane.
e2e_box 0 0 800 32; TITLE=$BOX
e2e_box 204 96 560 408; PANE=$BOX
# The pane's top: the heading and the line below it.
e2e_box 204 96 560 90; PANE_TOP=$BOX
e2e_shot welcome

# "Every kind of link" in the menu on the left: a console command link.
e2e_mark
e2e_click 57 135
e2e_wait_new_log "Console: Command LOAD_MAIN FEATURES.HTM"
e2e_wait_new_log "Main: Loading features.htm"
e2e_wait_change "$E2E_OUT/welcome.png" "$PANE" features 2000
e2e_wait_steady "$PANE" features

# Console command links on the page: the title picture off and on again.
e2e_mark
e2e_click 549 322
e2e_wait_new_log "Console: Command SHOW_TOP_IMAGE NO"
e2e_wait_change "$E2E_OUT/features.png" "$TITLE" title-off 2000
e2e_mark
e2e_click 629 322
e2e_wait_new_log "Console: Command SHOW_TOP_IMAGE YES"
e2e_wait_steady "$TITLE" title-on
n=$(e2e_changed "$E2E_OUT/features.png" "$SHOT" "$TITLE")
[ "$n" -lt 200 ] || e2e_fail "the title picture is not back ($n pixels differ)"

# An anchor: the pane scrolls to "Files and addresses", no page is loaded.
e2e_shot features-top
e2e_mark
e2e_click 387 143
e2e_wait_change "$E2E_OUT/features-top.png" "$PANE" files 5000
e2e_wait_steady "$PANE" files
e2e_quiet_log 300
! e2e_has_new_log "Loading" || e2e_fail "the anchor loaded a page: $(e2e_new_log)"

# A .wav link plays the sound beside the music (the music is stopped first,
# so the jingle, 0.9 s long, is what sounds; a click sound is 35 ms).
e2e_silence
e2e_audio_mark
e2e_click 232 297
e2e_audio_since 2
e2e_at_least "$AUDIO_LONGEST" 0.6 || e2e_fail "the .wav link played no jingle (longest sound ${AUDIO_LONGEST}s)"

# "#top", the anchor back to the top of the page.
e2e_click 391 342
e2e_wait_change "$E2E_OUT/files.png" "$PANE" top 5000
e2e_wait_steady "$PANE" top
n=$(e2e_changed_shifted "$E2E_OUT/features-top.png" "$SHOT" "$PANE_TOP")
[ "$n" -lt 3000 ] || e2e_fail "#top did not bring back the top of the page ($n pixels differ)"

# A plain page link: about.htm replaces the page.
e2e_click 387 143
e2e_wait_change "$E2E_OUT/top.png" "$PANE" files-again 5000
e2e_wait_steady "$PANE" files-again
e2e_mark
e2e_click 232 342
e2e_wait_new_log "Main: about.htm"
e2e_wait_change "$E2E_OUT/files-again.png" "$PANE" about 5000
e2e_wait_steady "$PANE" about

# A right click goes back to the page of links, where it was.
e2e_mark
e2e_click 500 400 3
e2e_wait_new_log "Console: Command GO_BACK_MAIN"
e2e_wait_change "$E2E_OUT/about.png" "$PANE" back 5000
e2e_wait_steady "$PANE" back
n=$(e2e_changed_shifted "$E2E_OUT/files-again.png" "$SHOT" "$PANE_TOP")
[ "$n" -lt 3000 ] || e2e_fail "the right click did not bring back the page of links ($n pixels differ)"

# On the page of links a right click runs the page's own command instead
# (main.ini [right_click]): the welcome page.
e2e_mark
e2e_click 500 400 3
e2e_wait_new_log "Console: Command LOAD_MAIN INDEX.HTM"
e2e_wait_new_log "Main: Loading index.htm"
! e2e_has_new_log "GO_BACK_MAIN" || e2e_fail "the right click went back instead of running the page's command"

e2e_end_now
e2e_pass
