# Sourced by the test and demo commands. Gives this build a private Wine prefix, a persistent and
# warmed-up wineserver, and, when there is no display, an Xvfb screen with a system tray (trayer).
# vantry_wine_start PREFIX; vantry_wine_stop undoes all of it (callers run it from an EXIT trap).
# vantry_wine_start fails (non-zero) when the screen or the tray it was to start did not come up.

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
[ -x "$WINE" ] || WINE=$(command -v wine64)
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)
export WINE WINESERVER

# The panel window that trayer makes on the display, or nothing.
vantry_tray_panel() {
  xwininfo -root -children 2>/dev/null | awk '/"panel": \("panel" "trayer"\)/ { print $1; exit }'
}

vantry_wine_start() {
  export WINEPREFIX=$1 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  # Wine maps non-ASCII file names through the locale; a fresh system has none, and then such
  # names fail. C.UTF-8 is always there on Debian.
  export LC_ALL=C.UTF-8
  VANTRY_XVFB_PID="" VANTRY_TRAYER_PID=""
  # Set when this command made the display itself: then the tray is known to be there, and the
  # tests that need it must not skip.
  export VANTRY_OWN_DISPLAY=0
  if [ -z "${DISPLAY:-}" ]; then
    mkdir -p "$WINEPREFIX"
    local displayfile="$WINEPREFIX/.xvfb-display"
    rm -f "$displayfile"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
    VANTRY_XVFB_PID=$!
    for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
    if [ ! -s "$displayfile" ] || ! kill -0 "$VANTRY_XVFB_PID" 2>/dev/null; then
      echo "wine-env: Xvfb did not start" >&2
      return 1
    fi
    export DISPLAY=":$(head -n1 "$displayfile")"
    # Seen now and then: the screen says it is up, and yet a client cannot open it for a moment, or
    # trayer ends at once. A client is waited for, and trayer gets three tries.
    for _ in $(seq 100); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
    local attempt
    for attempt in 1 2 3; do
      trayer --edge bottom --align right --widthtype request --height 32 --SetDockType true \
        >/dev/null 2>&1 </dev/null &
      VANTRY_TRAYER_PID=$!
      # A busy machine (a build just ended) can take seconds to bring the panel up.
      for _ in $(seq 300); do
        [ -n "$(vantry_tray_panel)" ] && break
        kill -0 "$VANTRY_TRAYER_PID" 2>/dev/null || break
        sleep 0.1
      done
      [ -n "$(vantry_tray_panel)" ] && kill -0 "$VANTRY_TRAYER_PID" 2>/dev/null && break
      kill "$VANTRY_TRAYER_PID" 2>/dev/null || true
      VANTRY_TRAYER_PID=""
      echo "wine-env: no tray on $DISPLAY after try $attempt" >&2
      sleep 1
    done
    if [ -z "$VANTRY_TRAYER_PID" ]; then
      echo "wine-env: trayer did not start a tray on $DISPLAY (3 tries)" >&2
      return 1
    fi
    VANTRY_OWN_DISPLAY=1
  fi
  # Started apart from any test, so that no test's output pipe is held open by it.
  mkdir -p "$WINEPREFIX"
  "$WINESERVER" -p >/dev/null 2>&1 </dev/null || true
  "$WINE" cmd /c exit >/dev/null 2>&1 </dev/null || true
  # Wine draws the window frames itself: the X screen has no window manager.
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 </dev/null || true
  # A crashing program ends instead of waiting behind Wine's crash dialog, as on a server with error
  # reporting switched off.
  "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 </dev/null || true
  # Wine closes its desktop a second after the last program that used it, and the next one starts it
  # again, holding the caller's output open meanwhile: a second lost per test. Held for the run.
  local holder
  holder="$(dirname "${BASH_SOURCE[0]}")/../build/tools/vantry-control.exe"
  if [ -f "$holder" ]; then
    "$WINE" "$holder" hold-desktop >/dev/null 2>&1 </dev/null &
    # Until the desktop is held, the first test would start it, and Wine's desktop process would
    # keep that test's output (and ctest) waiting.
    "$WINE" "$holder" desktop-held >/dev/null 2>&1 </dev/null || echo "wine-env: Wine's desktop is not held" >&2
  fi
}

vantry_wine_stop() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  local pid
  for pid in ${VANTRY_TRAYER_PID:-} ${VANTRY_XVFB_PID:-}; do
    kill "$pid" 2>/dev/null || continue
    # Gone before the next start looks for a free display.
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  done
  return 0
}
