#!/usr/bin/env bash
# Alt+Enter: from full screen to a framed 800 x 600 window in the middle of
# the screen (links still work there, at the design's scale), and back to the
# whole screen.
#
#   fullscreen.sh PAGEMOOR DEMO_DIR
source "$(dirname "$0")/lib.sh"
e2e_init fullscreen "$1" "$2"
e2e_start_x
e2e_start_demo

fullscreen_state() { xprop -id "$E2E_MAIN" _NET_WM_STATE 2>/dev/null | grep -q _NET_WM_STATE_FULLSCREEN; }

# Waits until the window is full screen (yes) or framed (no), then checks
# where it is.
wait_mode() {
  for _ in $(seq 50); do
    if [ "$1" = yes ]; then fullscreen_state && break; else fullscreen_state || break; fi
    sleep 0.1
  done
  e2e_quiet_log 300
  sleep 0.5
  e2e_geometry "$E2E_MAIN"
  e2e_note "window at ${GEO_X},${GEO_Y} ${GEO_W}x${GEO_H}"
  if [ "$1" = yes ]; then
    fullscreen_state || e2e_fail "the window is not full screen"
    [ "$GEO_X,$GEO_Y,$GEO_W,$GEO_H" = "0,0,$E2E_SCREEN_W,$E2E_SCREEN_H" ] ||
      e2e_fail "full screen, the window is at ${GEO_X},${GEO_Y} ${GEO_W}x${GEO_H}"
  else
    ! fullscreen_state || e2e_fail "the window is still full screen"
    [ "${GEO_W}x${GEO_H}" = 800x600 ] || e2e_fail "the window is ${GEO_W}x${GEO_H}, not 800x600"
    local top
    top=$(xprop -id "$E2E_MAIN" _NET_FRAME_EXTENTS | sed 's/.*= *//' | cut -d, -f3 | tr -d ' ')
    [ "${top:-0}" -gt 0 ] || e2e_fail "the window has no title bar"
    # In the middle: the frame's title bar on the screen, the window centred
    # within a few pixels.
    [ $((GEO_Y - top)) -ge 0 ] || e2e_fail "the title bar is above the screen"
    local dx=$((GEO_X - (E2E_SCREEN_W - 800) / 2)) dy=$((GEO_Y - (E2E_SCREEN_H - 600) / 2))
    [ ${dx#-} -le 30 ] && [ ${dy#-} -le 30 ] || e2e_fail "the window is not in the middle (${GEO_X},${GEO_Y})"
  fi
  xdotool search --onlyvisible --name '^Pagemoor Demo$' | grep -qx "$E2E_MAIN" || e2e_fail "the window is gone"
}

wait_mode yes
e2e_shot full
e2e_wait_active "$E2E_MAIN"
e2e_key alt+Return
wait_mode no
e2e_shot windowed
# The desktop around the window is no longer the magazine's.
e2e_rgb "$SHOT" 5 5 | grep -q '^0 0 0$' || e2e_fail "the screen outside the window is not the empty desktop"

# A link in the window, at the design's own scale.
e2e_mark
e2e_click 57 163
e2e_wait_new_log "Main: Loading about.htm"

e2e_wait_active "$E2E_MAIN"
e2e_key alt+Return
wait_mode yes
e2e_mark
e2e_click 40 118
e2e_wait_new_log "Main: Loading index.htm"

e2e_end_now
e2e_pass
