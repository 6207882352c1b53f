#!/usr/bin/env bash
# Source this file: starts Xvfb, openbox and a system tray when there is no display, and exports
# DISPLAY. Everything it starts is stopped when the sourcing shell exits.
_velmora_pids=()
velmora_stop_desktop() {
  for p in "${_velmora_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  _velmora_pids=()
}

velmora_start_desktop() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1 && [ -z "${VELMORA_FORCE_XVFB:-}" ]; then
    echo "desktop: using display $DISPLAY"
    return 0
  fi
  local n=${VELMORA_DISPLAY_NUM:-97}
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  export DISPLAY=":$n"
  # -noreset: by default the server resets whenever its last client leaves, and a client that
  # connects during the reset (openbox right after the readiness probe) is refused.
  Xvfb "$DISPLAY" -screen 0 1280x900x24 -nolisten tcp -noreset >/tmp/velmora-xvfb-$n.log 2>&1 &
  _velmora_pids+=($!)
  for _ in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  if ! xdpyinfo >/dev/null 2>&1; then
    echo "desktop: Xvfb did not answer on $DISPLAY within 10 s:" >&2
    cat "/tmp/velmora-xvfb-$n.log" >&2
    return 1
  fi
  # A desktop session: a session bus and the accessibility bus run before any window, with
  # what Debian's Xsession sets, so programs export their accessibility trees as they do for a
  # user (the bus launcher puts the bus address on the root window, where Qt looks for it).
  if [ -z "${VELMORA_KEEP_SESSION_BUS:-}" ]; then
    eval "$(dbus-launch --sh-syntax)"
    _velmora_pids+=("$DBUS_SESSION_BUS_PID")
  fi
  export GTK_MODULES=gail:atk-bridge QT_ACCESSIBILITY=1
  unset NO_AT_BRIDGE
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/tmp/velmora-a11y-$n.log 2>&1 &
  _velmora_pids+=($!)
  local a11y=""
  for _ in $(seq 1 100); do
    xprop -root AT_SPI_BUS 2>/dev/null | grep -q 'unix:' && a11y=yes && break
    sleep 0.1
  done
  if [ -z "$a11y" ]; then
    echo "desktop: the accessibility bus did not start on $DISPLAY within 10 s:" >&2
    cat "/tmp/velmora-a11y-$n.log" >&2
    return 1
  fi
  openbox >/tmp/velmora-openbox-$n.log 2>&1 &
  _velmora_pids+=($!)
  # Wait until the window manager owns the screen before anything maps windows; without it no
  # window is ever activated and every desktop test would fail for that one reason.
  local wm=""
  for _ in $(seq 1 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && wm=yes && break
    sleep 0.1
  done
  if [ -z "$wm" ]; then
    echo "desktop: openbox did not take the screen $DISPLAY within 10 s:" >&2
    cat "/tmp/velmora-openbox-$n.log" >&2
    return 1
  fi
  trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 \
    --SetDockType true --transparent false >/tmp/velmora-trayer-$n.log 2>&1 &
  _velmora_pids+=($!)
  for _ in $(seq 1 50); do
    xprop -root | grep -q '_NET_SYSTEM_TRAY_S0' && break
    xwininfo -root -tree 2>/dev/null | grep -qi trayer && break
    sleep 0.1
  done
  sleep 0.5
  echo "desktop: Xvfb, session and accessibility buses, openbox, trayer on $DISPLAY"
}
trap velmora_stop_desktop EXIT
