#!/usr/bin/env bash
# The image buttons at the bottom: a state button lights up under the mouse,
# shows its pressed frame while held, clicks (the click sound) and runs its
# command when let go, and goes dark again when the mouse leaves for the
# desktop picture; the record button animates by itself.
#
#   buttons.sh PAGEMOOR DEMO_DIR
source "$(dirname "$0")/lib.sh"
e2e_init buttons "$1" "$2"
e2e_disk_audio
e2e_start_x
e2e_start_demo

# Button 1, "Home" (run_script english.txt), at 8,526 96x36; button 7, the
# record (show cp, animated), at 736,520 48x48.
e2e_box 8 526 96 36; HOME=$BOX
e2e_box 736 520 48 48; RECORD=$BOX

# The mouse over the desktop picture: every state button shows its first frame.
e2e_move 400 590
e2e_wait_steady "$HOME" normal

# Under the mouse: the lit frame.
e2e_move 56 543
e2e_wait_change "$E2E_OUT/normal.png" "$HOME" lit 1000 5

# The music stops, so the button's click sound is what sounds.
e2e_silence

# Held down: the pressed frame, and no command yet.
e2e_mark
e2e_audio_mark
xdotool mousedown 1 || e2e_fail "cannot press the button"
e2e_wait_change "$E2E_OUT/lit.png" "$HOME" pressed 1000 5
! e2e_has_new_log "RUN_SCRIPT" || e2e_fail "the command ran before the button was let go"
n=$(e2e_changed "$E2E_OUT/normal.png" "$E2E_OUT/pressed.png" "$HOME")
[ "$n" -ge 1000 ] || e2e_fail "the pressed frame looks like the normal one ($n pixels differ)"

# Let go: the command runs, and the click sounds (35 ms; nothing long).
xdotool mouseup 1 || e2e_fail "cannot let the button go"
e2e_wait_new_log "Console: Command RUN_SCRIPT ENGLISH.TXT"
e2e_wait_new_log "Main: Loading index.htm"
e2e_wait_new_log "System: Ending Script"
e2e_audio_since 1.5
e2e_at_least "$AUDIO_LOUD" 0.02 || e2e_fail "the button click made no sound"
e2e_at_least 0.5 "$AUDIO_LONGEST" || e2e_fail "more than a click sounded (${AUDIO_LONGEST}s)"

# Away over the desktop picture: the first frame again.
e2e_move 400 590
e2e_wait_steady "$HOME" dark
n=$(e2e_changed "$E2E_OUT/normal.png" "$SHOT" "$HOME")
[ "$n" -lt 200 ] || e2e_fail "the button did not go back to its first frame ($n pixels differ)"

# The record turns by itself.
e2e_shot record-1
e2e_wait_change "$E2E_OUT/record-1.png" "$RECORD" record-2 30 5

e2e_end_now
e2e_pass
