#!/usr/bin/env bash
# A magazine's program and media links start nothing until the reader says
# yes: "hello.exe -demo" asks, is answered No, and is not asked again (Wine
# never runs); "tune.mid" asks, is answered Yes, and reaches the desktop's
# opener. Wine and xdg-open are stand-ins on PATH that only write down how
# they were called.
#
#   programs.sh PAGEMOOR DEMO_DIR
source "$(dirname "$0")/lib.sh"
e2e_init programs "$1" "$2"
mkdir -p "$E2E_WORK/bin"
for tool in wine xdg-open; do
  printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s/%s.txt"\n' "$E2E_WORK" "$tool" >"$E2E_WORK/bin/$tool"
  chmod 755 "$E2E_WORK/bin/$tool"
done
export PATH="$E2E_WORK/bin:$PATH"
e2e_start_x
e2e_start_demo

# The page of links, at "Files and addresses".
e2e_box 204 96 560 408; PANE=$BOX
e2e_shot welcome
e2e_mark
e2e_click 57 135
e2e_wait_new_log "Main: Loading features.htm"
e2e_wait_change "$E2E_OUT/welcome.png" "$PANE" features 2000
e2e_wait_steady "$PANE" features
e2e_click 387 143
e2e_wait_change "$E2E_OUT/features.png" "$PANE" files 5000
e2e_wait_steady "$PANE" files

# The program link: the question names the program and its parameters; No.
e2e_mark
e2e_click 250 312
e2e_answer Confirm no
e2e_wait_new_log "Shell: The reader refused: $E2E_PROJECT_DIR/texts/hello.exe -demo"
# Asked once: the second click is refused without a box.
e2e_mark
e2e_click 250 312
e2e_wait_new_log "Shell: Not started, the reader said no: $E2E_PROJECT_DIR/texts/hello.exe"
e2e_quiet_log 500
[ -z "$(e2e_find_window '^Confirm$')" ] || e2e_fail "the program link asked again after No"
[ ! -e "$E2E_WORK/wine.txt" ] || e2e_fail "Wine ran after No: $(cat "$E2E_WORK/wine.txt")"

# The media link: Yes hands the file to the desktop's opener.
e2e_mark
e2e_click 505 297
e2e_answer Confirm yes
e2e_wait_new_log "Shell: The reader allowed: $E2E_PROJECT_DIR/sounds/tune.mid"
for _ in $(seq 100); do
  [ -s "$E2E_WORK/xdg-open.txt" ] && break
  sleep 0.1
done
grep -qF "sounds/tune.mid" "$E2E_WORK/xdg-open.txt" 2>/dev/null ||
  e2e_fail "the desktop's opener did not get tune.mid: $(cat "$E2E_WORK/xdg-open.txt" 2>/dev/null)"
[ ! -e "$E2E_WORK/wine.txt" ] || e2e_fail "Wine ran: $(cat "$E2E_WORK/wine.txt")"

e2e_end_now
e2e_pass
