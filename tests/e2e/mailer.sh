#!/usr/bin/env bash
# The mail form from a mailto: link: a contact chosen, the sender's name, a
# subject and a message in Czech typed, the SMTP server set to a local
# aiosmtpd (port 25, so root), "Odeslat Zprávu"; the mail that arrives has
# the contact as its recipient and the Czech texts decoded as typed.
#
#   mailer.sh PAGEMOOR DEMO_DIR
source "$(dirname "$0")/lib.sh"
e2e_init mailer "$1" "$2"
[ "$(id -u)" = 0 ] || e2e_skip "the mail form sends to port 25, which only root may listen on"
e2e_require /usr/bin/python3
/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null || {
  [ -n "${CI:-}" ] && e2e_fail "Python's aiosmtpd is not installed (python3-aiosmtpd)"
  e2e_skip "Python's aiosmtpd is not installed (python3-aiosmtpd)"
}

# A mail server of our own on an address of the loopback net nobody else uses.
SERVER=127.$((RANDOM % 200 + 20)).$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))
MAILDIR=$E2E_WORK/maildir
/usr/bin/python3 -m aiosmtpd -n -d -l "$SERVER:25" -c aiosmtpd.handlers.Mailbox "$MAILDIR" \
  >"$E2E_WORK/smtp.log" 2>&1 &
E2E_PIDS+=($!)
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/$SERVER/25") 2>/dev/null && break
  kill -0 "${E2E_PIDS[-1]}" 2>/dev/null || { cat "$E2E_WORK/smtp.log"; e2e_fail "aiosmtpd did not start"; }
  sleep 0.1
done
(exec 3<>"/dev/tcp/$SERVER/25") 2>/dev/null || e2e_fail "aiosmtpd does not listen on $SERVER:25"

e2e_start_x
e2e_start_demo

NAME="Čtenář z Brna"
FROM="ctenar@example.cz"
SUBJECT="Pozdrav z vřesoviště – žluťoučký kůň"
LINE1="Dobrý den, paní Nováková,"
LINE2="příliš žluťoučký kůň úpěl ďábelské ódy."

e2e_keymap "$NAME" "$SUBJECT" "$LINE1" "$LINE2"

# "Every kind of link", then its mailto: link.
e2e_mark
e2e_click 57 135
e2e_wait_new_log "Main: Loading features.htm"
e2e_quiet_log 300
e2e_mark
e2e_click 224 419
e2e_wait_new_log "Mailer: Link: MAILTO:JANA.NOVAKOVA@EXAMPLE.CZ"
e2e_wait_window '^Pagemoor Mailer$'
MAILER=$WIN

# Client positions of the form's fields, the first contact and the button.
e2e_click_in "$MAILER" 196 20
e2e_key ctrl+a
e2e_type "$NAME"
e2e_click_in "$MAILER" 196 52
e2e_type "$FROM"
e2e_click_in "$MAILER" 196 84
e2e_type "$SUBJECT"
e2e_click_in "$MAILER" 196 116
e2e_key ctrl+a
e2e_type "$SERVER"
e2e_click_in "$MAILER" 400 33
e2e_click_in "$MAILER" 200 250
e2e_type "$LINE1"
e2e_key Return
e2e_type "$LINE2"
e2e_shot form

e2e_mark
e2e_click_in "$MAILER" 468 324
for _ in $(seq 300); do
  e2e_has_new_log "Mailer: Send Success" && break
  if e2e_has_new_log "Mailer: Not Connected" || e2e_has_new_log "Mailer: Send Failure"; then
    e2e_fail "the mail was not sent: $(e2e_new_log | grep Mailer | tr '\n' ' ')-- the server heard: $(grep -o ">> b'[^']*'" "$E2E_WORK/smtp.log" | tr '\n' ' ')"
  fi
  sleep 0.1
done
e2e_has_new_log "Mailer: Send Success" || e2e_fail "no word from the mail form after 30 s"
e2e_answer Information ok
e2e_close_box "$MAILER"
e2e_wait_no_window '^Pagemoor Mailer$'

# The mail as it arrived.
/usr/bin/python3 - "$MAILDIR" "$NAME" "$FROM" "$SUBJECT" "$LINE1" "$LINE2" <<'PYTHON' || e2e_fail "the mail that arrived is not the one written"
import mailbox, sys
from email.header import decode_header, make_header
from email.utils import getaddresses

folder, name, sender, subject, line1, line2 = sys.argv[1:]
mails = list(mailbox.Maildir(folder, create=False))
if len(mails) != 1:
    sys.exit(f"{len(mails)} mails arrived, not 1")
mail = mails[0]
def text(value):
    return str(make_header(decode_header(value or "")))
problems = []
recipients = [a.lower() for _, a in getaddresses(mail.get_all("To", []))]
if "jana.novakova@example.cz" not in recipients:
    problems.append(f"To: {mail.get_all('To')}")
got = text(mail["Subject"])
if got != subject:
    problems.append(f"Subject: {got!r}")
from_header = text(mail["From"])
if sender not in from_header or name not in from_header:
    problems.append(f"From: {from_header!r}")
part = mail.get_payload(0) if mail.is_multipart() else mail
body = part.get_payload(decode=True).decode(part.get_content_charset() or "utf-8", "replace")
lines = [l.rstrip() for l in body.splitlines()]
if line1 not in lines or line2 not in lines:
    problems.append(f"body: {body!r}")
if problems:
    print("\n".join(problems))
    print(mail.as_string()[:3000])
    sys.exit(1)
print("mail:", mail["Subject"])
PYTHON

e2e_end_now

# The same sending in a scripted run (no window, answers queued): the form
# waiting for its server takes none of the answers meant for what follows, so
# the success box takes "ok", the form "close", the reader "exit now". And
# nothing but the [ui] lines reaches standard error.
rm -rf "$E2E_WORK/state" "$MAILDIR/new"/*
QT_QPA_PLATFORM=offscreen PAGEMOOR_SCRIPTED_UI=1 \
  PAGEMOOR_ANSWERS="project:Pagemoor Demo, wait:500, command:show mailer, contact:Jana Nováková (šéfredaktorka / editor), from:$FROM, subject:$SUBJECT, body:Dobrý den, server:$SERVER, btnSend, ok, close, command:exit now" \
  e2e_start_program
e2e_wait_exit 60
[ "$E2E_EXIT_CODE" = 0 ] || e2e_fail "the scripted run ended with $E2E_EXIT_CODE"
expected="[ui] modal: frmLauncher: Pagemoor - version 2803
[ui] reader: wait: 500
[ui] reader: command: show mailer
[ui] modal: frmMailer: Pagemoor Mailer
[ui] info: Information: Zprava Odeslana!
[ui] reader: command: exit now"
[ "$(cat "$E2E_WORK/stderr.txt")" = "$expected" ] ||
  e2e_fail "the scripted run's standard error differs:
$(diff <(echo "$expected") "$E2E_WORK/stderr.txt")"
[ "$(ls "$MAILDIR/new" | wc -l)" = 1 ] || e2e_fail "the scripted sending delivered $(ls "$MAILDIR/new" | wc -l) mails"
e2e_pass
