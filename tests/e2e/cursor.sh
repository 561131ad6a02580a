#!/usr/bin/env bash
# The mouse cursor the reader sees (read back from the X server with
# xcursor_probe): the launcher's is the desktop's own; over the magazine's
# page text and desktop picture it is the project's normal cursor from
# cursors.ini (quill.cur), over a link and an image button the project's link
# cursor (beacon.ani), which animates. What is not there yet is checked under
# PAGEMOOR_E2E_PENDING=1.
#
#   cursor.sh PAGEMOOR DEMO_DIR [XCURSOR_PROBE]
source "$(dirname "$0")/lib.sh"
e2e_init cursor "$1" "$2"
e2e_require /usr/bin/python3
PROBE=${3:-}
if [ -z "$PROBE" ]; then
  # Run by hand: the probe is built here.
  PROBE=$E2E_WORK/xcursor_probe
  if ! cc -std=c11 -O2 -o "$PROBE" "$E2E_DIR/xcursor_probe.c" $(pkg-config --cflags --libs x11 xfixes 2>/dev/null); then
    [ -n "${CI:-}" ] && e2e_fail "cannot build xcursor_probe (cc, pkg-config, libx11-dev, libxfixes-dev)"
    e2e_skip "cannot build xcursor_probe (cc, pkg-config, libx11-dev, libxfixes-dev)"
  fi
fi
[ -x "$PROBE" ] || e2e_fail "no xcursor_probe at $PROBE"
e2e_start_x

# look: the cursor now, without its serial.
look() { "$PROBE" | sed 's/^serial=[0-9]* //'; }
# shape: size, hotspot and opaque pixels, what a cursor file tells too.
shape() { look | sed 's/ checksum=.*//'; }
# looks MS COUNT: the distinct looks over a while.
looks() { "$PROBE" "$2" "$1" | sed 's/^serial=[0-9]* //' | sort -u; }
# One of the lines of a cursor file's frames.
is_frame_of() { grep -qxF "$1" <<<"$2"; }
settle() { sleep 0.4; }

e2e_start_program
e2e_launcher
e2e_move_in "$LAUNCHER" 190 180
settle
DESKTOP_CURSOR=$(look)
e2e_note "the launcher's cursor: $DESKTOP_CURSOR"
e2e_click_in "$LAUNCHER" $E2E_LAUNCHER_ENTRY
e2e_click_in "$LAUNCHER" $E2E_LAUNCHER_RUN
e2e_magazine
e2e_quiet_log 300

# The project's cursors as its files draw them.
cursors_ini=$(tr -d '\r' <"$E2E_PROJECT_DIR/ini/cursors.ini")
normal_file=$(sed -n 's/^normal_cursor=//p' <<<"$cursors_ini")
link_file=$(sed -n 's/^link_cursor=//p' <<<"$cursors_ini")
NORMAL=$(/usr/bin/python3 "$E2E_DIR/cursor_files.py" "$E2E_PROJECT_DIR/cursors/$normal_file") ||
  e2e_fail "cannot read $normal_file"
LINK=$(/usr/bin/python3 "$E2E_DIR/cursor_files.py" "$E2E_PROJECT_DIR/cursors/$link_file") || e2e_fail "cannot read $link_file"
[ "$(sort -u <<<"$LINK" | wc -l)" -ge 2 ] || e2e_fail "$link_file should have frames that differ"

# Over the page's plain text: the project's normal cursor.
e2e_glide 500 300
settle
got=$(shape)
[ "$(look)" != "$DESKTOP_CURSOR" ] || e2e_fail "over the page the cursor is the desktop's"
is_frame_of "$got" "$NORMAL" || e2e_fail "over the page text the cursor is $got, not $normal_file ($NORMAL)"

# Over the desktop picture below the panes: the normal cursor too.
e2e_glide 400 590
settle
got=$(shape)
is_frame_of "$got" "$NORMAL" || e2e_fail "over the desktop picture the cursor is $got, not $normal_file"

# Over an image button ("Home", cursor=1680: the link cursor).
e2e_glide 56 543
settle
got=$(shape)
is_frame_of "$got" "$LINK" || e2e_fail "over the Home button the cursor is $got, not a frame of $link_file"
animates() {
  local seen
  seen=$(looks 60 20)
  [ "$(wc -l <<<"$seen")" -ge 2 ] || e2e_fail "the cursor stays $(head -n 1 <<<"$seen") for 1.2 s"
}
animates

# Over a link in the menu ("About this issue").
e2e_glide 400 590
e2e_glide 57 163
settle
over_link() {
  local got
  got=$(shape)
  is_frame_of "$got" "$LINK" || e2e_fail "over a link the cursor is $got, not a frame of $link_file"
}
over_link
animates

# After a link was followed, the page text still has the normal cursor.
e2e_mark
e2e_click 57 163
e2e_wait_new_log "Main: Loading about.htm"
e2e_quiet_log 300
e2e_glide 500 450
e2e_glide 520 460
settle
normal_again() {
  local got
  got=$(shape)
  is_frame_of "$got" "$NORMAL" || e2e_fail "over the page text after a click the cursor is $got, not $normal_file"
}
normal_again

e2e_end_now
e2e_pass
