#!/usr/bin/env bash
# A magazine read from its own folder (a CD, say) with --program: the folder
# holds MAG.UNP and a data package of two parts: the first a ZIP (the demo's
# pages), the second a RAR (named MAG.002: parts are known by their content).
# Both parts are unpacked into the project folder, and the magazine runs.
# The RAR library lies beside the executable, not in the magazine's folder.
#
#   two_parts.sh PAGEMOOR DEMO_DIR
source "$(dirname "$0")/lib.sh"
e2e_init two_parts "$1" "$2"
e2e_require bsdtar
RAR="$E2E_DIR/../fixtures/third_party/rar/Rar4.rar"
[ -f "$RAR" ] || e2e_fail "no RAR fixture at $RAR"

# The magazine's folder, away from the program.
E2E_PROG=$E2E_WORK/cd
mkdir -p "$E2E_PROG" "$E2E_WORK/expected"
cp "$E2E_DEMO_DIR/DEMO.ZIP" "$E2E_PROG/MAG.ZIP"
cp "$RAR" "$E2E_PROG/MAG.002"
printf '%s\r\n' '[uniproject]' 'destination=pagemoor' 'name=Moor in Two Parts' 'files=2' '' \
  '[files]' 'file1=MAG.ZIP' 'file2=MAG.002' '' \
  '[projectinfo]' 'author=Pagemoor tests' >"$E2E_PROG/MAG.UNP"
E2E_TITLE="Moor in Two Parts"
bsdtar -xf "$RAR" -C "$E2E_WORK/expected" || e2e_fail "bsdtar cannot read $RAR"
[ ! -e "$E2E_PROG/libpagemoor-unrar.so" ] || e2e_fail "the RAR library must not lie in the magazine's folder"

e2e_start_x
e2e_start_program
e2e_launcher
e2e_click_in "$LAUNCHER" $E2E_LAUNCHER_ENTRY
e2e_wait_log "System: Project file: MAG.UNP"
e2e_click_in "$LAUNCHER" $E2E_LAUNCHER_RUN
e2e_wait_log "System: Starting project MAG.UNP"
# A box at the start (a part that cannot be unpacked) fails the journey.
for _ in $(seq 300); do
  [ -n "$(e2e_find_window "^$E2E_TITLE\$")" ] && break
  [ -z "$(e2e_find_window '^Information$')" ] || e2e_fail "a box came up while the parts were unpacked"
  e2e_running || e2e_fail "the program ended while unpacking"
  sleep 0.1
done
e2e_magazine

# The first part: the demo's files.
for file in ini/main.ini texts/index.htm scripts/start.txt; do
  [ -f "$E2E_PROJECT_DIR/$file" ] || e2e_fail "the first part (ZIP) was not unpacked: no $file"
done
# The second part: every file of the RAR, byte for byte.
(cd "$E2E_WORK/expected" && find . -type f) | sort >"$E2E_WORK/expected.txt"
[ -s "$E2E_WORK/expected.txt" ] || e2e_fail "the RAR fixture held no files?"
while read -r file; do
  [ -f "$E2E_PROJECT_DIR/$file" ] ||
    e2e_fail "the second part (RAR) was not unpacked: no $file in $E2E_PROJECT_DIR"
  cmp -s "$E2E_WORK/expected/$file" "$E2E_PROJECT_DIR/$file" || e2e_fail "the second part (RAR): $file differs"
done <"$E2E_WORK/expected.txt"

# The magazine reads as usual.
e2e_mark
e2e_click 57 163
e2e_wait_new_log "Main: Loading about.htm"
e2e_end_now
e2e_pass
