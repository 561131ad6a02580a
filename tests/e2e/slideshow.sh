#!/usr/bin/env bash
# The slideshow and the credits roll: opened from the menu and a button,
# advanced and closed with clicks, the magazine back afterwards. Closing
# either with Escape is a check of what is not there yet.
#
#   slideshow.sh PAGEMOOR DEMO_DIR
source "$(dirname "$0")/lib.sh"
e2e_init slideshow "$1" "$2"
e2e_start_x
e2e_start_demo

SHOW='^Prohlížeč Obrázků$'
CREDITS='^Titulky$'
# The picture's middle, where the slides differ.
e2e_box 150 100 500 400; PICTURE=$BOX
# Closes a full-screen window with clicks when Escape did not.
click_until_gone() {
  for _ in 1 2 3 4 5; do
    [ -z "$(e2e_find_window "$1")" ] && return 0
    e2e_click 400 300
    sleep 0.5
  done
  e2e_wait_no_window "$1"
}

# "Gallery (4 pictures)" in the menu: four slides, a click for each, and the
# click after the last closes the show.
e2e_mark
e2e_click 66 212
e2e_wait_new_log "Console: Command SLIDESHOW FILE GALLERY.TXT"
e2e_wait_new_log "imgBack: (JPG) slide1.jpg"
e2e_wait_window "$SHOW"
e2e_wait_steady "$PICTURE" slide1
previous=slide1
for n in 2 3 4; do
  e2e_click 400 300
  e2e_wait_new_log "imgBack: (JPG) slide$n.jpg"
  e2e_wait_change "$E2E_OUT/$previous.png" "$PICTURE" "slide$n" 5000
  previous=slide$n
done
e2e_click 400 300
e2e_wait_no_window "$SHOW"
e2e_wait_steady "$PICTURE" magazine
n=$(e2e_changed "$E2E_OUT/slide4.png" "$SHOT" "$PICTURE")
[ "$n" -ge 5000 ] || e2e_fail "the last slide is still on the screen"
[ "$(e2e_new_log | grep -c 'slide1.jpg')" = 1 ] || e2e_fail "the show went round again"

# "Quick look (2)": its first slide is slide2; Escape should close it.
e2e_mark
e2e_click 52 227
e2e_wait_new_log "imgBack: (JPG) slide2.jpg"
e2e_wait_window "$SHOW"
e2e_key Escape
closed_by_escape() { e2e_wait_no_window "$1" 3; }
e2e_pending "Escape closes the slideshow" closed_by_escape "$SHOW"
click_until_gone "$SHOW"

# The credits button: the roll moves up by itself, a click closes it.
e2e_mark
e2e_click 368 543
e2e_wait_new_log "Console: Command SHOW CREDITS"
e2e_wait_window "$CREDITS"
e2e_box 0 0 800 600; SCREEN=$BOX
e2e_shot roll-1
e2e_wait_change "$E2E_OUT/roll-1.png" "$SCREEN" roll-2 200 10
e2e_click 400 300
e2e_wait_no_window "$CREDITS"

# Once more, closed with Escape.
e2e_click 368 543
e2e_wait_window "$CREDITS"
e2e_key Escape
e2e_pending "Escape closes the credits" closed_by_escape "$CREDITS"
click_until_gone "$CREDITS"

# The magazine goes on: a link in the menu still works.
e2e_mark
e2e_click 57 163
e2e_wait_new_log "Main: Loading about.htm"

e2e_end_now
e2e_pass
