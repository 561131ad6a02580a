#!/usr/bin/env bash
# Closing the windows a magazine opens without the window manager's title bar,
# as in a kiosk session: the installer, the jukebox and the mail form, each
# opened from the magazine and closed once with its own "Zavřít" and once with
# Escape. Each takes the keyboard when it appears (else Escape would go
# nowhere), the jukebox's music plays on after it has gone, and the magazine
# still follows a link at the end.
#
#   closing.sh PAGEMOOR DEMO_DIR
source "$(dirname "$0")/lib.sh"
e2e_init closing "$1" "$2"
e2e_disk_audio
e2e_start_x
e2e_start_demo

# open_window X Y COMMAND TITLE: a click on the magazine at a design point
# runs the console command and shows the window; WIN is its id, and it has
# the focus.
open_window() {
  e2e_mark
  e2e_click "$1" "$2"
  e2e_wait_new_log "Console: Command $3"
  e2e_wait_window "$4"
  e2e_wait_active "$WIN"
}

# close_by WAY TITLE [X Y]: the window closed with Escape, or with a click at
# a point of its client area; it must be gone.
close_by() {
  local window=$WIN
  e2e_shot "$(tr -dc 'A-Za-z' <<<"$2")-$1"
  if [ "$1" = escape ]; then
    e2e_key Escape
  else
    e2e_click_in "$window" "$3" "$4"
  fi
  e2e_wait_no_window "$2"
  e2e_note "$2 closed by $1"
}

INSTALLER='^Instalátor$' JUKEBOX='^Plinq' MAILER='^Pagemoor Mailer$'
# Design points of the magazine's controls that open them, and the client
# points of each window's "Zavřít".
INSTALL_LINK="34 366" RECORD="760 544" MAIL_BUTTON="472 544"
INSTALLER_ZAVRIT="444 64" JUKEBOX_ZAVRIT="31 10" MAILER_ZAVRIT="468 144"

for way in button escape; do
  open_window $INSTALL_LINK "SHOW INSTALL" "$INSTALLER"
  close_by "$way" "$INSTALLER" $INSTALLER_ZAVRIT

  open_window $MAIL_BUTTON "SHOW MAILER" "$MAILER"
  close_by "$way" "$MAILER" $MAILER_ZAVRIT

  open_window $RECORD "SHOW CP" "$JUKEBOX"
  close_by "$way" "$JUKEBOX" $JUKEBOX_ZAVRIT
  # Closing the jukebox is no "Zastavit".
  e2e_audio_mark
  e2e_audio_since 1.5
  e2e_at_least "$AUDIO_LOUD" 1.2 || e2e_fail "the music stopped with the jukebox closed by $way (${AUDIO_LOUD}s of 1.5 s)"
done

# The magazine goes on.
e2e_mark
e2e_click 57 163
e2e_wait_new_log "Main: Loading about.htm"

e2e_end_now
e2e_pass
