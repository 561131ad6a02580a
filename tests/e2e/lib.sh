# Shared helpers of the reader journeys: each journey sources this file, then
#
#   e2e_init NAME PAGEMOOR DEMO_DIR   a work folder of its own, the demo beside MAG.EXE
#   e2e_start_x [WxH]                 Xvfb on a free display and openbox managing it
#                                     (E2E_WM=none: a bare X server, no window manager)
#   e2e_start_program [ARG]...        pagemoor --program=$E2E_PROG/MAG.EXE in the background
#   e2e_start_demo                    the above, then the demo chosen in the launcher
#   e2e_wait_window REGEX             a visible window whose title matches
#   e2e_wait_log TEXT / e2e_mark + e2e_wait_new_log TEXT
#   e2e_click X Y [BUTTON]            a click at design coordinates (800 x 600)
#   e2e_click_in WINDOW X Y           a click inside a window's client area
#   e2e_shot NAME                     a screenshot of the whole screen
#   e2e_fail MESSAGE                  the log, standard error and a screenshot, then exit 1
#   e2e_pending NAME COMMAND...       a check of something not done yet
#   e2e_pass                          the final PASS line
#
# Every process started here is ended by its id when the journey exits, and
# the work folder is removed (E2E_KEEP=1 keeps it; E2E_ARTIFACTS=DIR receives
# the screenshots). The mouse and keyboard go through XTEST (xdotool without
# --window), so every event passes the window manager and the X server as a
# reader's would.

set -uo pipefail

E2E_PIDS=()
E2E_WORK=""
E2E_PROGRAM_PID=""
E2E_VIEW=""
E2E_MARK=0
E2E_NAME=journey
E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

e2e_note() { echo "[$E2E_NAME] $*"; }

# The log (its lines end in CR LF) without the command table the console
# prints at its start.
e2e_dump_log() {
  echo "--- log ($E2E_LOG):"
  grep -v 'Command added' "$E2E_LOG" 2>/dev/null | tail -n 80
  echo "--- stderr:"
  tail -n 40 "$E2E_WORK/stderr.txt" 2>/dev/null
  if [ -n "${DISPLAY:-}" ] && command -v xdotool >/dev/null; then
    echo "--- windows:"
    xdotool search --onlyvisible --name '.' 2>/dev/null | while read -r w; do
      echo "  $w \"$(xdotool getwindowname "$w" 2>/dev/null)\""
    done
  fi
}

e2e_fail() {
  echo "FAIL: [$E2E_NAME] $*"
  if [ -n "${DISPLAY:-}" ] && [ -n "$E2E_WORK" ]; then
    import -display "$DISPLAY" -window root "$E2E_OUT/failure.png" 2>/dev/null &&
      echo "--- screenshot: $E2E_OUT/failure.png"
  fi
  e2e_dump_log
  exit 1
}

# A tool the journey cannot do without: missing, it fails the journey in CI
# and skips it elsewhere (CTest reads the SKIP line).
e2e_require() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "$tool" ]; then
      if [ -n "${CI:-}" ]; then e2e_fail "$tool is not installed (scripts/install-deps installs it)"; fi
      echo "SKIP: $tool is not installed (scripts/install-deps installs it)"
      exit 0
    fi
  done
}

e2e_skip() {
  echo "SKIP: $*"
  exit 0
}

e2e_cleanup() {
  local code=$? pid i
  # The program first, gently (it removes what it unpacked), then the rest.
  if [ -n "$E2E_PROGRAM_PID" ] && kill -0 "$E2E_PROGRAM_PID" 2>/dev/null; then
    kill -TERM "$E2E_PROGRAM_PID" 2>/dev/null
    for _ in $(seq 30); do kill -0 "$E2E_PROGRAM_PID" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$E2E_PROGRAM_PID" 2>/dev/null
  fi
  for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
    pid=${E2E_PIDS[i]}
    kill -TERM "$pid" 2>/dev/null
  done
  for pid in "${E2E_PIDS[@]}" $E2E_PROGRAM_PID; do
    for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null
  done
  wait 2>/dev/null
  if [ -n "$E2E_WORK" ]; then
    if [ -n "${E2E_ARTIFACTS:-}" ] && [ -d "$E2E_OUT" ]; then
      mkdir -p "$E2E_ARTIFACTS/$E2E_NAME" && cp "$E2E_OUT"/*.png "$E2E_ARTIFACTS/$E2E_NAME/" 2>/dev/null
    fi
    if [ "${E2E_KEEP:-0}" = 1 ]; then
      echo "[$E2E_NAME] work folder kept: $E2E_WORK"
    else
      rm -rf "$E2E_WORK"
    fi
  fi
  exit "$code"
}

# e2e_init NAME PAGEMOOR DEMO_DIR
e2e_init() {
  E2E_NAME=$1 E2E_PAGEMOOR=$2 E2E_DEMO_DIR=$3
  [ -x "$E2E_PAGEMOOR" ] || { echo "FAIL: [$E2E_NAME] no program at $E2E_PAGEMOOR"; exit 1; }
  E2E_WORK=$(mktemp -d "${TMPDIR:-/tmp}/pagemoor-e2e-$E2E_NAME.XXXXXX")
  trap e2e_cleanup EXIT
  trap 'e2e_fail "stopped by a signal (a journey that takes over ${E2E_LIMIT}s stops itself)"' INT TERM HUP
  # A watchdog ends the journey (and so everything it started) before CTest's
  # timeout would kill it without its clean-up.
  E2E_LIMIT=${E2E_LIMIT:-200}
  (for _ in $(seq "$E2E_LIMIT"); do sleep 1; done; kill -TERM $$) &
  E2E_PIDS+=($!)
  E2E_PROG=$E2E_WORK/prog E2E_TEMP=$E2E_WORK/tmp E2E_OUT=$E2E_WORK/out
  mkdir -p "$E2E_PROG" "$E2E_TEMP" "$E2E_OUT" "$E2E_WORK/state" "$E2E_WORK/config" "$E2E_WORK/run"
  chmod 700 "$E2E_WORK/run"
  cp "$E2E_DEMO_DIR/DEMO.UNP" "$E2E_DEMO_DIR/DEMO.ZIP" "$E2E_PROG/"
  E2E_EXE=MAG.EXE
  E2E_LOG="$E2E_WORK/state/pagemoor/MAG_EXE_(Tarn-Console).log"
  # What the unpacked project folder of MAG.EXE is.
  E2E_PROJECT_DIR="$E2E_TEMP/pagemoor-$(id -u)/MAG_EXE"
  export TEMP=$E2E_TEMP TMPDIR=$E2E_TEMP
  # ImageMagick keeps its scratch files out of the TEMP the program is judged by.
  export MAGICK_TEMPORARY_PATH=$E2E_WORK/magick
  mkdir -p "$MAGICK_TEMPORARY_PATH"
  export XDG_STATE_HOME=$E2E_WORK/state XDG_CONFIG_HOME=$E2E_WORK/config XDG_RUNTIME_DIR=$E2E_WORK/run
  export HOME=$E2E_WORK/home
  mkdir -p "$HOME"
  # A real window, whatever the calling test run asked of Qt, and no answers
  # queued: the reader here is xdotool.
  export QT_QPA_PLATFORM=xcb
  unset PAGEMOOR_SCRIPTED_UI PAGEMOOR_ANSWERS PAGEMOOR_PROGRAM SESSION_MANAGER
  export PAGEMOOR_AUDIO=${PAGEMOOR_AUDIO-null}
  e2e_require Xvfb openbox xdotool xwininfo xprop import convert compare
}

# e2e_start_x [WIDTHxHEIGHT]: an X server of our own on a free display, and
# openbox as its window manager (the journey waits until it manages; with
# E2E_WM=none there is none, as in a kiosk session or on a bare server). A
# server that another one's shutdown robbed of its socket (the display number
# was free a moment too early) is given up for a fresh one.
e2e_start_x() {
  local size=${1:-1024x768} attempt
  E2E_SCREEN_W=${size%x*} E2E_SCREEN_H=${size#*x}
  for attempt in 1 2 3; do
    e2e_try_x "$size" && return 0
    e2e_note "X server attempt $attempt failed: $E2E_X_PROBLEM"
  done
  cat "$E2E_WORK/xvfb.log" "$E2E_WORK/openbox.log" 2>/dev/null
  e2e_fail "no X server with a window manager: $E2E_X_PROBLEM"
}

e2e_try_x() {
  local fd display wm xvfb openbox
  exec {fd}<> <(:)
  Xvfb -displayfd "$fd" -screen 0 "$1x24" -nolisten tcp >"$E2E_WORK/xvfb.log" 2>&1 &
  xvfb=$!
  E2E_PIDS+=($xvfb)
  if ! read -r -t 15 display <&"$fd" || [ -z "$display" ]; then
    exec {fd}>&-
    E2E_X_PROBLEM="Xvfb did not start"
    kill "$xvfb" 2>/dev/null
    return 1
  fi
  exec {fd}>&-
  export DISPLAY=":$display"
  if ! xprop -root >/dev/null 2>&1; then
    E2E_X_PROBLEM="Xvfb on $DISPLAY does not answer"
    kill "$xvfb" 2>/dev/null
    return 1
  fi
  if ! e2e_has_wm; then
    e2e_note "no window manager on $DISPLAY"
    xdotool mousemove --sync 1 1 >/dev/null 2>&1 || { E2E_X_PROBLEM="xdotool cannot move the pointer"; return 1; }
    return 0
  fi
  openbox --sm-disable >"$E2E_WORK/openbox.log" 2>&1 &
  openbox=$!
  E2E_PIDS+=($openbox)
  for _ in $(seq 150); do
    wm=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null)
    case $wm in *"window id #"*) break ;; esac
    kill -0 "$openbox" 2>/dev/null || break
    sleep 0.1
  done
  case $wm in
    *"window id #"*) ;;
    *)
      E2E_X_PROBLEM="openbox does not manage $DISPLAY: $(tail -n 2 "$E2E_WORK/openbox.log" | tr '\n' ' ')"
      kill "$openbox" "$xvfb" 2>/dev/null
      return 1
      ;;
  esac
  # The pointer starts where no window will be.
  xdotool mousemove --sync 1 1 >/dev/null 2>&1 || { E2E_X_PROBLEM="xdotool cannot move the pointer"; return 1; }
}

# e2e_start_program [ARG]...: the program as MAG.EXE in the program folder;
# standard error goes to $E2E_WORK/stderr.txt.
e2e_start_program() {
  "$E2E_PAGEMOOR" --program="$E2E_PROG/$E2E_EXE" "$@" 2>"$E2E_WORK/stderr.txt" >"$E2E_WORK/stdout.txt" &
  E2E_PROGRAM_PID=$!
}

# e2e_wait_exit [SECONDS]: waits for the program to end; sets E2E_EXIT_CODE.
e2e_wait_exit() {
  local limit=$((${1:-20} * 10))
  for _ in $(seq "$limit"); do
    kill -0 "$E2E_PROGRAM_PID" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$E2E_PROGRAM_PID" 2>/dev/null && e2e_fail "the program is still running after ${1:-20} s"
  wait "$E2E_PROGRAM_PID"
  E2E_EXIT_CODE=$?
  E2E_PROGRAM_PID=""
}

e2e_running() { [ -n "$E2E_PROGRAM_PID" ] && kill -0 "$E2E_PROGRAM_PID" 2>/dev/null; }

# e2e_find_window REGEX: the id of the newest visible window whose title matches.
e2e_find_window() {
  xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -n 1
}

# e2e_wait_window REGEX [SECONDS]: sets WIN to the window's id.
e2e_wait_window() {
  local limit=$((${2:-20} * 10))
  WIN=""
  for _ in $(seq "$limit"); do
    WIN=$(e2e_find_window "$1")
    [ -n "$WIN" ] && return 0
    e2e_running || e2e_fail "the program ended while waiting for a window \"$1\""
    sleep 0.1
  done
  e2e_fail "no window \"$1\" after ${2:-20} s"
}

# e2e_wait_no_window REGEX [SECONDS]
e2e_wait_no_window() {
  local limit=$((${2:-10} * 10))
  for _ in $(seq "$limit"); do
    [ -z "$(e2e_find_window "$1")" ] && return 0
    sleep 0.1
  done
  e2e_fail "the window \"$1\" is still on the screen after ${2:-10} s"
}

# e2e_has_log TEXT: the log holds the text (a fixed string).
e2e_has_log() { grep -qF -- "$1" "$E2E_LOG" 2>/dev/null; }

# e2e_wait_line TEST TEXT SECONDS WHAT: waits until `TEST TEXT` holds (a
# test that the log has the line); fails when the time is up or the program
# ended without it.
e2e_wait_line() {
  local test=$1 text=$2 seconds=$3 what=$4
  for _ in $(seq $((seconds * 10))); do
    "$test" "$text" && return 0
    e2e_running || { "$test" "$text" && return 0; e2e_fail "the program ended while waiting for log line \"$text\""; }
    sleep 0.1
  done
  e2e_fail "no $what \"$text\" after $seconds s"
}

# e2e_wait_log TEXT [SECONDS]
e2e_wait_log() { e2e_wait_line e2e_has_log "$1" "${2:-20}" "log line"; }

# e2e_mark: later waits look only at the lines written after it.
e2e_mark() { E2E_MARK=$(wc -l <"$E2E_LOG" 2>/dev/null || echo 0); }

e2e_new_log() { tail -n +"$((E2E_MARK + 1))" "$E2E_LOG" 2>/dev/null | tr -d '\r'; }

e2e_has_new_log() { e2e_new_log | grep -qF -- "$1"; }

# e2e_wait_new_log TEXT [SECONDS]: TEXT in a line written since e2e_mark.
e2e_wait_new_log() { e2e_wait_line e2e_has_new_log "$1" "${2:-20}" "new log line"; }

# e2e_quiet_log [MS]: waits until the log has not grown for MS milliseconds
# (at most 10 s), so what a click set going has settled.
e2e_quiet_log() {
  local quiet=${1:-400} last now still=0
  last=$(wc -c <"$E2E_LOG" 2>/dev/null || echo 0)
  for _ in $(seq 100); do
    sleep 0.1
    now=$(wc -c <"$E2E_LOG" 2>/dev/null || echo 0)
    if [ "$now" = "$last" ]; then
      still=$((still + 100))
      [ "$still" -ge "$quiet" ] && return 0
    else
      still=0 last=$now
    fi
  done
}

# e2e_geometry WINDOW: sets GEO_X GEO_Y GEO_W GEO_H, the client area on the
# screen (xwininfo's absolute corner: xdotool's counts the frame twice).
e2e_geometry() {
  local info
  info=$(xwininfo -id "$1" 2>/dev/null) || e2e_fail "no window $1"
  GEO_X=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
  GEO_Y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
  GEO_W=$(sed -n 's/^ *Width: *//p' <<<"$info")
  GEO_H=$(sed -n 's/^ *Height: *//p' <<<"$info")
}

# e2e_use_view WINDOW: design coordinates are taken in this scaled window
# from now on (the magazine's, or a full-screen window over it).
e2e_use_view() { E2E_VIEW=$1; }

# e2e_to_screen X Y: sets SX SY to the screen point of a design point
# (800 x 600 scaled to fit the view, centred between black bars).
e2e_to_screen() {
  [ -n "$E2E_VIEW" ] || e2e_fail "no view chosen for design coordinates"
  e2e_geometry "$E2E_VIEW"
  local p
  p=$(awk -v x="$1" -v y="$2" -v gx="$GEO_X" -v gy="$GEO_Y" -v w="$GEO_W" -v h="$GEO_H" 'BEGIN {
    s = w / 800; if (h / 600 < s) s = h / 600
    printf "%d %d\n", gx + (w - 800 * s) / 2 + x * s + 0.5, gy + (h - 600 * s) / 2 + y * s + 0.5 }')
  SX=${p% *} SY=${p#* }
}

# e2e_pointer_to X Y: the pointer to a screen point (xdotool's --sync would
# wait for a motion that never comes when it is there already).
e2e_pointer_to() {
  local X Y SCREEN WINDOW
  eval "$(xdotool getmouselocation --shell 2>/dev/null)"
  [ "${X:-}" = "$1" ] && [ "${Y:-}" = "$2" ] && return 0
  xdotool mousemove --sync "$1" "$2"
}

# e2e_move X Y: the pointer to a design point.
e2e_move() {
  e2e_to_screen "$1" "$2"
  e2e_pointer_to "$SX" "$SY" || e2e_fail "cannot move to $1,$2"
}

# e2e_glide X Y: the pointer to a design point in eight steps, as a hand
# moves it (a widget that follows the mouse sees it arrive).
e2e_glide() {
  local X Y SCREEN WINDOW from_x from_y i
  eval "$(xdotool getmouselocation --shell)"
  from_x=$X from_y=$Y
  e2e_to_screen "$1" "$2"
  for i in 1 2 3 4 5 6 7 8; do
    e2e_pointer_to $((from_x + (SX - from_x) * i / 8)) $((from_y + (SY - from_y) * i / 8)) ||
      e2e_fail "cannot move to $1,$2"
    sleep 0.02
  done
}

# e2e_click X Y [BUTTON]: a click at a design point.
e2e_click() {
  e2e_move "$1" "$2"
  xdotool click "${3:-1}" || e2e_fail "cannot click at $1,$2"
}

# e2e_click_in WINDOW X Y [BUTTON]: a click at a point of a window's client area.
e2e_click_in() {
  e2e_move_in "$1" "$2" "$3"
  xdotool click "${4:-1}" || e2e_fail "cannot click at $2,$3 in window $1"
}

e2e_move_in() {
  e2e_geometry "$1"
  e2e_pointer_to $((GEO_X + $2)) $((GEO_Y + $3)) || e2e_fail "cannot move to $2,$3 in window $1"
}

# e2e_has_wm: the journey runs under a window manager (not E2E_WM=none).
e2e_has_wm() { [ "${E2E_WM:-openbox}" != none ]; }

# e2e_focused: the window that has the keyboard focus. The window manager's
# active window where there is one; on a bare server the X input focus.
e2e_focused() {
  if e2e_has_wm; then
    xdotool getactivewindow 2>/dev/null
  else
    xdotool getwindowfocus 2>/dev/null
  fi
}

# e2e_wait_active WINDOW [SECONDS]: waits until the window has the focus, so
# that keys go to it.
e2e_wait_active() {
  local limit=$((${2:-5} * 10)) focused
  for _ in $(seq "$limit"); do
    [ "$(e2e_focused)" = "$1" ] && return 0
    sleep 0.1
  done
  focused=$(e2e_focused)
  e2e_fail "window $1 does not get the focus (the focus is on $focused \"$(xdotool getwindowname "$focused" 2>/dev/null)\")"
}

# e2e_above WINDOW OTHER: WINDOW is stacked above OTHER (the window
# manager's stacking list, bottom to top).
e2e_above() {
  local list
  list=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# *//; s/,//g')
  awk -v a="$(printf '0x%x' "$1")" -v b="$(printf '0x%x' "$2")" \
    '{ for (i = 1; i <= NF; i++) { if ($i == a) pa = i; if ($i == b) pb = i } } END { exit !(pa && pb && pa > pb) }' \
    <<<"$list"
}

# e2e_close_box WINDOW: a click on the close button of the window's frame
# (openbox's title bar, right end).
e2e_close_box() {
  local extents left right top bottom
  e2e_geometry "$1"
  extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p')
  IFS=', ' read -r left right top bottom <<<"$extents"
  [ -n "${top:-}" ] && [ "$top" -gt 0 ] || e2e_fail "window $1 has no frame ($extents)"
  xdotool mousemove --sync $((GEO_X + GEO_W + right - 10)) $((GEO_Y - top / 2 - 1)) click 1 ||
    e2e_fail "cannot click the close button of window $1"
}

# e2e_box_scale: sets BOX_SCALE, the factor the program draws its boxes at:
# the scale of the magazine's view (see e2e_to_screen), never below 1; 1
# before any magazine is shown.
e2e_box_scale() {
  BOX_SCALE=1
  [ -n "$E2E_VIEW" ] || return 0
  e2e_geometry "$E2E_VIEW"
  BOX_SCALE=$(awk -v w="$GEO_W" -v h="$GEO_H" 'BEGIN {
    s = w / 800; if (h / 600 < s) s = h / 600; if (s < 1) s = 1; print s }')
}

# e2e_answer TITLE BUTTON: waits for a message box (Information, Confirm)
# and clicks its button: ok, yes or no. Qt puts them at the bottom right, at
# distances that grow with the box's scale.
e2e_answer() {
  local dx
  e2e_wait_window "^$1\$" 20
  local box=$WIN
  e2e_box_scale
  case $2 in
    ok | no) dx=52 ;;
    yes) dx=138 ;;
    *) e2e_fail "no button $2 on a box" ;;
  esac
  e2e_geometry "$box"
  e2e_click_in "$box" $((GEO_W - $(e2e_scaled "$dx"))) $((GEO_H - $(e2e_scaled 24)))
  e2e_wait_no_window "^$1\$" 10
}

# e2e_scaled N: N times BOX_SCALE, rounded.
e2e_scaled() { awk -v n="$1" -v s="$BOX_SCALE" 'BEGIN { printf "%d\n", n * s + 0.5 }'; }

# e2e_key KEY...: key presses (xdotool key names) to the focused window.
e2e_key() { xdotool key --delay 40 "$@" || e2e_fail "cannot press $*"; }

# e2e_keymap TEXT...: puts every letter of the texts that the keyboard map
# lacks (Czech ones) on spare keys, two to a key, before anything is typed.
# Otherwise xdotool maps a spare key anew for each such letter while typing,
# and a program that reads the new map a moment late gets a wrong letter or
# none.
e2e_keymap() {
  local -a spare syms
  local args=() i
  e2e_require xmodmap
  mapfile -t spare < <(xmodmap -pke | sed -n 's/^keycode *\([0-9]*\) *= *$/\1/p')
  mapfile -t syms < <(/usr/bin/python3 -c '
import sys
seen = []
for c in "".join(sys.argv[1:]):
    if ord(c) > 126 and c not in seen:
        seen.append(c)
for c in seen:
    print("U%04X" % ord(c))' "$@")
  [ $(((${#syms[@]} + 1) / 2)) -le ${#spare[@]} ] || e2e_fail "too few spare keys for ${#syms[@]} letters"
  for ((i = 0; i < ${#syms[@]}; i += 2)); do
    args+=(-e "keycode ${spare[i / 2]} = ${syms[i]} ${syms[i + 1]:-${syms[i]}}")
  done
  [ ${#args[@]} -eq 0 ] || xmodmap "${args[@]}" || e2e_fail "xmodmap cannot map the letters"
}

# e2e_type TEXT: typed as a reader would, character by character (letters
# outside the keyboard map want e2e_keymap first). The short pause lets the
# program take them all before the next click moves the focus.
e2e_type() {
  xdotool type --delay 40 -- "$1" || e2e_fail "cannot type \"$1\""
  sleep 0.3
}

# e2e_shot NAME: a screenshot of the whole screen; SHOT is its path.
e2e_shot() {
  SHOT="$E2E_OUT/$1.png"
  import -display "$DISPLAY" -window root "$SHOT" 2>/dev/null || e2e_fail "no screenshot $1"
}

# e2e_box X Y W H: sets BOX to ImageMagick's WxH+X+Y of a design rectangle
# on the screen.
e2e_box() {
  e2e_to_screen "$1" "$2"
  local x=$SX y=$SY
  e2e_to_screen $(($1 + $3)) $(($2 + $4))
  BOX="$((SX - x))x$((SY - y))+$x+$y"
}

# e2e_mean FILE GEOMETRY: the mean brightness (0..1) of a region of a screenshot.
e2e_mean() { convert "$1" -crop "$2" +repage -colorspace Gray -format '%[fx:mean]\n' info:; }

# e2e_rgb FILE X Y: "R G B" (0..255) of one screen pixel.
e2e_rgb() {
  convert "$1" -format "%[fx:int(255*p{$2,$3}.r+.5)] %[fx:int(255*p{$2,$3}.g+.5)] %[fx:int(255*p{$2,$3}.b+.5)]" info:
}

# e2e_changed FILE1 FILE2 GEOMETRY: how many pixels of the region differ by
# more than 10 %.
e2e_changed() {
  local n
  n=$(compare -metric AE -fuzz 10% "$1[$3]" "$2[$3]" null: 2>&1)
  n=${n%% *}
  [[ $n =~ ^[0-9.e+]+$ ]] || { echo "compare: $n" >&2; echo 999999999; return; }
  awk -v n="$n" 'BEGIN { printf "%d\n", n }'
}

# e2e_changed_shifted FILE1 FILE2 GEOMETRY [RANGE]: like e2e_changed, but the
# second picture's region may lie up to RANGE pixels higher or lower (a page
# scrolled back to an anchor a few pixels below its top); the least count.
e2e_changed_shifted() {
  local w=${3%%x*} a="$E2E_WORK/shift-a.gray" b="$E2E_WORK/shift-b.gray" result
  convert "$1" -crop "$3" +repage -colorspace Gray -depth 8 "gray:$a" &&
    convert "$2" -crop "$3" +repage -colorspace Gray -depth 8 "gray:$b" ||
    e2e_fail "cannot read the screenshots $1 and $2"
  result=$(/usr/bin/python3 "$E2E_DIR/shift_diff.py" "$w" "${4:-8}" "$a" "$b") || e2e_fail "shift_diff failed"
  echo "${result% *}"
}

# e2e_wait_change BEFORE GEOMETRY NAME [MIN_PIXELS] [SECONDS]: waits until at
# least MIN_PIXELS of the region differ from the screenshot BEFORE; SHOT is
# the new screenshot, $E2E_OUT/NAME.png.
e2e_wait_change() {
  local before=$1 box=$2 name=$3 min=${4:-50} limit=$((${5:-10} * 5)) n=0
  for _ in $(seq "$limit"); do
    e2e_shot "$name"
    n=$(e2e_changed "$before" "$SHOT" "$box")
    [ "$n" -ge "$min" ] && return 0
    sleep 0.2
  done
  e2e_fail "the screen region $box did not change ($name: $n pixels differ, $min wanted)"
}

# e2e_wait_steady GEOMETRY NAME [SECONDS]: waits until two screenshots in a
# row agree in the region (fades and repaints done); SHOT is the last one.
e2e_wait_steady() {
  local box=$1 name=$2 limit=$((${3:-10} * 4)) prev="$E2E_OUT/$2-prev.png"
  e2e_shot "$name"
  cp "$SHOT" "$prev"
  for _ in $(seq "$limit"); do
    sleep 0.25
    e2e_shot "$name"
    [ "$(e2e_changed "$prev" "$SHOT" "$box")" -le 5 ] && return 0
    cp "$SHOT" "$prev"
  done
  e2e_fail "the screen region $box does not come to rest"
}

# e2e_pending NAME COMMAND...: a check of behaviour that is not there yet.
# With PAGEMOOR_E2E_PENDING=1 it counts like any other check; without, a
# failure is reported as PENDING and the journey goes on. The command runs in
# a subshell, so its e2e_fail ends only the check.
e2e_pending() {
  local name=$1
  shift
  if [ "${PAGEMOOR_E2E_PENDING:-0}" = 1 ]; then
    "$@" || e2e_fail "$name"
    e2e_note "pending check passes: $name"
    return 0
  fi
  local out
  if out=$( ("$@") 2>&1); then
    e2e_note "PENDING CHECK NOW PASSES (switch it on): $name"
  else
    e2e_note "PENDING: $name"
    grep '^FAIL' <<<"$out" | sed 's/^/    /'
  fi
  return 0
}

# --- Sound ---

# e2e_disk_audio: the program's sound goes to $E2E_AUDIO through SDL's disk
# driver (raw 16-bit stereo, 44100 Hz, written at the pace it plays).
e2e_disk_audio() {
  E2E_AUDIO=$E2E_WORK/audio.raw
  export PAGEMOOR_AUDIO=sdl SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$E2E_AUDIO
  e2e_require /usr/bin/python3
}

# e2e_audio_mark: later e2e_audio_since looks at what is written from now on.
e2e_audio_mark() { E2E_AUDIO_MARK=$(stat -c %s "$E2E_AUDIO" 2>/dev/null || echo 0); }

# e2e_audio_since SECONDS: lets SECONDS of sound be written after the mark,
# then sets AUDIO_LOUD (seconds not silent), AUDIO_LONGEST (the longest
# stretch not silent) and AUDIO_SECONDS.
e2e_audio_since() {
  local want stats
  want=$(awk -v s="$1" -v m="$E2E_AUDIO_MARK" 'BEGIN { printf "%d", m + s * 44100 * 4 }')
  for _ in $(seq 100); do
    [ "$(stat -c %s "$E2E_AUDIO" 2>/dev/null || echo 0)" -ge "$want" ] && break
    sleep 0.1
  done
  stats=$(/usr/bin/python3 "$E2E_DIR/audio_stats.py" "$E2E_AUDIO" "$E2E_AUDIO_MARK") ||
    e2e_fail "cannot read the sound written to $E2E_AUDIO"
  e2e_note "sound since the mark: $stats"
  AUDIO_SECONDS=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$stats")
  AUDIO_LOUD=$(sed -n 's/.*loud=\([0-9.]*\).*/\1/p' <<<"$stats")
  AUDIO_LONGEST=$(sed -n 's/.*longest=\([0-9.]*\).*/\1/p' <<<"$stats")
  awk -v a="$AUDIO_SECONDS" -v s="$1" 'BEGIN { exit !(a + 0.3 >= s) }' ||
    e2e_fail "only $AUDIO_SECONDS s of sound were written in the time of $1 s (is the output running?)"
}

# e2e_remote N: message N to the running program's jukebox, as a hotkey
# daemon sends it (1026 stops the music).
e2e_remote() {
  "$E2E_PAGEMOOR" --remote "$1" >>"$E2E_WORK/remote.txt" 2>&1 || e2e_fail "--remote $1 was not delivered"
}

# e2e_silence: stops the music and waits until the sound written is silent.
e2e_silence() {
  e2e_remote 1026
  for _ in $(seq 20); do
    e2e_audio_mark
    e2e_audio_since 0.3
    [ "$AUDIO_LOUD" = 0.00 ] && return 0
  done
  e2e_fail "the sound does not stop"
}

# e2e_at_least VALUE MIN: VALUE >= MIN, as decimals.
e2e_at_least() { awk -v v="$1" -v m="$2" 'BEGIN { exit !(v + 0 >= m + 0) }'; }

# --- The demo magazine ---

# e2e_launcher: waits for the launcher; LAUNCHER is its window id.
e2e_launcher() {
  e2e_wait_log "System: Starting Launcher ..."
  e2e_wait_window '^Pagemoor - version [0-9]+$'
  LAUNCHER=$WIN
}

# Client positions of the launcher's controls.
E2E_LAUNCHER_ENTRY="60 126"
E2E_LAUNCHER_RUN="192 347"
E2E_LAUNCHER_CLOSE="64 347"

# e2e_magazine: waits until the demo's start script has shown the English
# pages; the magazine's window becomes the view for design coordinates.
e2e_magazine() {
  e2e_wait_window "^${E2E_TITLE:-Pagemoor Demo}\$" 30
  E2E_MAIN=$WIN
  e2e_use_view "$E2E_MAIN"
  e2e_wait_log "Main: Loading index.htm" 30
  e2e_wait_log "System: Ending Script" 30
}

# e2e_start_demo [ARG]...: the program, the demo chosen in the launcher with
# a click on its entry and one on "Spustit Projekt", the magazine up.
e2e_start_demo() {
  e2e_start_program "$@"
  e2e_launcher
  e2e_click_in "$LAUNCHER" $E2E_LAUNCHER_ENTRY
  e2e_click_in "$LAUNCHER" $E2E_LAUNCHER_RUN
  e2e_wait_log "System: Starting project"
  e2e_magazine
  # The pictures and pages are painted when the log has come to rest.
  e2e_quiet_log 300
}

# e2e_end_now: the reading ends as on SIGTERM ("exit now"); the program must
# end with 0 and remove the unpacked project.
e2e_end_now() {
  kill -TERM "$E2E_PROGRAM_PID" 2>/dev/null
  e2e_wait_exit 20
  [ "$E2E_EXIT_CODE" = 0 ] || e2e_fail "the program ended with $E2E_EXIT_CODE"
  [ ! -e "$E2E_PROJECT_DIR" ] || e2e_fail "the project folder $E2E_PROJECT_DIR is left behind"
}

e2e_pass() {
  e2e_note "done in ${SECONDS}s"
  echo "PASS"
}
