#!/usr/bin/env bash
# The installer window, as a reader uses it: "Zvolit Soubor" and the open
# dialog (the demo's bonus.zip and a RAR archive, their names typed into it),
# the target folder chosen in the folder list with the keyboard,
# "Rozbalit", the box answered; the files are then on disk as the archives
# hold them. The window closes with its frame's close button.
#
#   installer.sh PAGEMOOR DEMO_DIR
source "$(dirname "$0")/lib.sh"
e2e_init installer "$1" "$2"
e2e_require bsdtar
RAR="$E2E_DIR/../fixtures/third_party/rar/Rar4.rar"
[ -f "$RAR" ] || e2e_fail "no RAR fixture at $RAR"
cp "$RAR" "$E2E_WORK/bonus-pictures.rar"
mkdir -p "$E2E_WORK/zip-target" "$E2E_WORK/rar-target" "$E2E_WORK/expected-zip" "$E2E_WORK/expected-rar"
e2e_start_x
e2e_start_demo

# What the archives hold, unpacked by bsdtar for comparison.
bsdtar -xf "$E2E_PROJECT_DIR/rars/bonus.zip" -C "$E2E_WORK/expected-zip" || e2e_fail "bsdtar cannot read bonus.zip"
bsdtar -xf "$RAR" -C "$E2E_WORK/expected-rar" || e2e_fail "bsdtar cannot read $RAR"

# Client positions in the installer: its two buttons, the folder list's first row.
ZVOLIT="336 20" ROZBALIT="444 20" FOLDERS="40 148"

open_installer() {
  e2e_mark
  e2e_click 34 366
  e2e_wait_new_log "Console: Command SHOW INSTALL"
  e2e_wait_window '^Instalátor$'
  INSTALLER=$WIN
}

# The target folder: the work folder's row picked by typing the start of its
# name and opened with Enter, then the target inside it the same way.
choose_folder() {
  e2e_click_in "$INSTALLER" $FOLDERS
  e2e_type "$(basename "$E2E_WORK" | cut -c1-20)"
  e2e_key Return
  sleep 0.3
  e2e_type "$1"
  e2e_key Return
  sleep 0.3
}

# Every file the archive holds is in the target, byte for byte.
same_files() {
  local expected=$1 target=$2 file
  (cd "$expected" && find . -type f) | sort >"$E2E_WORK/expected.txt"
  [ -s "$E2E_WORK/expected.txt" ] || e2e_fail "the archive held no files?"
  while read -r file; do
    [ -f "$target/$file" ] || e2e_fail "not installed: $file (in $target: $(cd "$target" && find . | tr '\n' ' '))"
    cmp -s "$expected/$file" "$target/$file" || e2e_fail "installed differently: $file"
  done <"$E2E_WORK/expected.txt"
}

# --- The demo's bonus.zip ---
open_installer
e2e_click_in "$INSTALLER" $ZVOLIT
e2e_wait_window '^Open archive$'
DIALOG=$WIN
# The dialog opens in the project's rars folder; bonus.zip is its only entry.
e2e_wait_active "$DIALOG"
e2e_type "bonus.zip"
e2e_key Return
e2e_wait_no_window '^Open archive$'
choose_folder zip-target
e2e_mark
e2e_click_in "$INSTALLER" $ROZBALIT
e2e_wait_new_log "ZIP: Files succesfully unZiped"
e2e_answer Information ok
same_files "$E2E_WORK/expected-zip" "$E2E_WORK/zip-target"
e2e_note "bonus.zip installed"

# --- A RAR archive, its path typed into the dialog ---
e2e_click_in "$INSTALLER" $ZVOLIT
e2e_wait_window '^Open archive$'
e2e_wait_active "$WIN"
e2e_type "$E2E_WORK/bonus-pictures.rar"
e2e_key Return
e2e_wait_no_window '^Open archive$'
choose_folder rar-target
e2e_mark
e2e_click_in "$INSTALLER" $ROZBALIT
e2e_wait_new_log "RAR: Extract BONUS-PICTURES.RAR"
for _ in $(seq 100); do
  [ "$(e2e_new_log | grep -c 'RAR: Extract Successfull')" -ge 3 ] && break
  e2e_has_new_log "RAR: Error" && e2e_fail "the RAR archive was not installed: $(e2e_new_log | grep 'RAR: Error')"
  sleep 0.1
done
same_files "$E2E_WORK/expected-rar" "$E2E_WORK/rar-target"
e2e_note "the RAR archive installed"

# The frame's close button closes the installer; the magazine goes on.
e2e_close_box "$INSTALLER"
e2e_wait_no_window '^Instalátor$'
e2e_mark
e2e_click 57 163
e2e_wait_new_log "Main: Loading about.htm"

e2e_end_now
e2e_pass
