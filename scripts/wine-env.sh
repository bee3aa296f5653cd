# Sourced by the test and demo commands. Gives this build a private Wine prefix, a persistent and
# warmed-up wineserver, and, when there is no display, an Xvfb screen with a system tray (trayer).
# vantry_wine_start PREFIX; vantry_wine_stop undoes all of it (callers run it from an EXIT trap).

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
[ -x "$WINE" ] || WINE=$(command -v wine64)
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)
export WINE WINESERVER

vantry_wine_start() {
  export WINEPREFIX=$1 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  VANTRY_XVFB_PID="" VANTRY_TRAYER_PID=""
  if [ -z "${DISPLAY:-}" ]; then
    mkdir -p "$WINEPREFIX"
    local displayfile="$WINEPREFIX/.xvfb-display"
    rm -f "$displayfile"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
    VANTRY_XVFB_PID=$!
    for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -n1 "$displayfile")"
    trayer --edge bottom --align right --widthtype request --height 32 --SetDockType true \
      >/dev/null 2>&1 </dev/null &
    VANTRY_TRAYER_PID=$!
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
}

vantry_wine_stop() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  [ -n "${VANTRY_TRAYER_PID:-}" ] && kill "$VANTRY_TRAYER_PID" 2>/dev/null
  [ -n "${VANTRY_XVFB_PID:-}" ] && kill "$VANTRY_XVFB_PID" 2>/dev/null
  return 0
}
