#!/usr/bin/env bash
# The jukebox: opened with the record button, stopped, a song chosen in its
# list (sound in SDL's disk file), "Hrát Další", an effect ticked, closed with
# "Zavřít". The launcher's "Přehrávat Hudbu" cleared keeps the magazine quiet
# until a song is chosen (a check of what is not there yet).
#
#   jukebox.sh PAGEMOOR DEMO_DIR
source "$(dirname "$0")/lib.sh"
e2e_init jukebox "$1" "$2"
e2e_disk_audio
e2e_start_x

e2e_start_program
e2e_launcher
# "Přehrávat Hudbu" cleared, then the demo started.
e2e_click_in "$LAUNCHER" 279 345
e2e_click_in "$LAUNCHER" $E2E_LAUNCHER_ENTRY
e2e_click_in "$LAUNCHER" $E2E_LAUNCHER_RUN
e2e_magazine
e2e_audio_mark
quiet_start() {
  e2e_audio_since 2
  [ "$AUDIO_LOUD" = 0.00 ] || e2e_fail "music plays although \"Přehrávat Hudbu\" was cleared (${AUDIO_LOUD}s)"
}
e2e_pending "no music when \"Přehrávat Hudbu\" is cleared" quiet_start

# The record button opens the jukebox: a window of its own.
e2e_mark
e2e_click 760 544
e2e_wait_new_log "Console: Command SHOW CP"
e2e_wait_window '^Plinq'
JUKEBOX=$WIN
# Client positions: the menu items, the two songs, the software echo box.
ZAVRIT="31 10" ZASTAVIT="90 10" DALSI="175 10"
ROW1="60 41" ROW2="60 58" ECHO="427 190"
e2e_geometry "$JUKEBOX"
row_box() { echo "300x15+$((GEO_X + 12))+$((GEO_Y + $1 - 7))"; }
ROW1_BOX=$(row_box 41) ROW2_BOX=$(row_box 58)
ECHO_BOX="14x14+$((GEO_X + 420))+$((GEO_Y + 183))"

# "Zastavit": silence.
e2e_click_in "$JUKEBOX" $ZASTAVIT
sleep 0.5
e2e_audio_mark
e2e_audio_since 1
e2e_at_least 0.05 "$AUDIO_LOUD" || e2e_fail "\"Zastavit\" did not stop the music (${AUDIO_LOUD}s of sound)"
e2e_shot stopped

# A click on "moorland (MOD)" plays it, and marks its row.
e2e_click_in "$JUKEBOX" $ROW2
e2e_audio_mark
e2e_audio_since 1.5
e2e_at_least "$AUDIO_LOUD" 1.2 || e2e_fail "the chosen song does not sound (${AUDIO_LOUD}s of 1.5 s)"
e2e_wait_change "$E2E_OUT/stopped.png" "$ROW2_BOX" moorland 300 5

# "Hrát Další": the other song's row is marked, and music goes on.
e2e_click_in "$JUKEBOX" $DALSI
e2e_wait_change "$E2E_OUT/moorland.png" "$ROW1_BOX" next 300 5
n=$(e2e_changed "$E2E_OUT/stopped.png" "$SHOT" "$ROW2_BOX")
[ "$n" -lt 300 ] || e2e_fail "the first song's row is still marked after \"Hrát Další\""
e2e_audio_mark
e2e_audio_since 1.5
e2e_at_least "$AUDIO_LOUD" 1.2 || e2e_fail "no music after \"Hrát Další\" (${AUDIO_LOUD}s of 1.5 s)"

# The software echo ticked: the box shows its tick, the music goes on.
e2e_click_in "$JUKEBOX" $ECHO
e2e_wait_change "$E2E_OUT/next.png" "$ECHO_BOX" echo 10 5
e2e_audio_mark
e2e_audio_since 1.5
e2e_at_least "$AUDIO_LOUD" 1.2 || e2e_fail "no music with the echo on (${AUDIO_LOUD}s of 1.5 s)"

# "Zavřít" closes the window; the magazine is in front again.
e2e_click_in "$JUKEBOX" $ZAVRIT
e2e_wait_no_window '^Plinq'
e2e_mark
e2e_click 57 163
e2e_wait_new_log "Main: Loading about.htm"

e2e_end_now
e2e_pass
