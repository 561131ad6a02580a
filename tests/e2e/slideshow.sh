#!/usr/bin/env bash
# The slideshow and the credits roll: opened from the menu and a button,
# advanced and closed with clicks and with Escape, the magazine back
# afterwards with the keyboard on it. One slide of the unpacked project is
# damaged: the show puts the no-data picture up in its place and logs why.
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

# The third slide cut short inside its header: the file is there, but there
# is no picture in it.
SLIDE3=$(find "$E2E_PROJECT_DIR" -ipath '*/pictures/slide3.jpg' | head -n 1)
[ -n "$SLIDE3" ] || e2e_fail "the demo has no pictures/slide3.jpg in $E2E_PROJECT_DIR"
truncate -s 200 "$SLIDE3" || e2e_fail "cannot damage $SLIDE3"

# The no-data picture (320 x 220, centred on the 800 x 600 screen) is a red
# sign on black: red in its disc and lower blade, black between them and in
# its corners.
shows_no_data() {
  local point x y want rgb r g b
  for point in "400 274 red" "400 320 red" "400 290 black" "242 192 black" "558 408 black"; do
    read -r x y want <<<"$point"
    e2e_to_screen "$x" "$y"
    rgb=$(e2e_rgb "$1" "$SX" "$SY")
    read -r r g b <<<"$rgb"
    case $want in
      red) [ "$r" -gt 150 ] && [ "$g" -lt 90 ] && [ "$b" -lt 90 ] ;;
      black) [ "$r" -lt 50 ] && [ "$g" -lt 50 ] && [ "$b" -lt 50 ] ;;
    esac || e2e_fail "no no-data picture on the screen: design point $x,$y is $rgb, $want wanted"
  done
}

# "Gallery (4 pictures)" in the menu: four slides, a click for each, and the
# click after the last closes the show. The damaged third shows the no-data
# picture, not the second slide.
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
  if [ "$n" = 3 ]; then
    e2e_wait_new_log "imgBack: cannot show slide3.jpg (JPEG: damaged or unsupported data)"
    e2e_wait_steady "$PICTURE" slide3
    shows_no_data "$SHOT"
  fi
done
e2e_click 400 300
e2e_wait_no_window "$SHOW"
e2e_wait_steady "$PICTURE" magazine
n=$(e2e_changed "$E2E_OUT/slide4.png" "$SHOT" "$PICTURE")
[ "$n" -ge 5000 ] || e2e_fail "the last slide is still on the screen"
[ "$(e2e_new_log | grep -c 'slide1.jpg')" = 1 ] || e2e_fail "the show went round again"

# Escape closes a full-screen window as the closing click does: the window
# goes and the keyboard is the magazine's again. Without a window manager
# the magazine has to take the keyboard back by itself.
#   close_with_escape TITLE_REGEX
close_with_escape() {
  e2e_wait_active "$WIN"
  e2e_key Escape
  e2e_wait_no_window "$1" 3
  e2e_wait_active "$E2E_MAIN" 3
}

# "Quick look (2)": its first slide is slide2; Escape closes it.
e2e_mark
e2e_click 52 227
e2e_wait_new_log "imgBack: (JPG) slide2.jpg"
e2e_wait_window "$SHOW"
close_with_escape "$SHOW"

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
close_with_escape "$CREDITS"

# The magazine goes on: a link in the menu still works.
e2e_mark
e2e_click 57 163
e2e_wait_new_log "Main: Loading about.htm"

e2e_end_now
e2e_pass
