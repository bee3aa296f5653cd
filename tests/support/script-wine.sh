# Sourced by the script tests once $build is set: Wine in the build's own prefix, and skip(), which
# fails instead on the test command's own display (VANTRY_OWN_DISPLAY=1: the tray was checked at its
# start, so a missing one there is a failure, never a skip). The caller sets SKIP.
WINE=${WINE:-/usr/lib/wine/wine64}
[ -x "$WINE" ] || WINE=$(command -v wine64 || true)
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix} WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}

skip() {
  if [ "${VANTRY_OWN_DISPLAY:-0}" = 1 ]; then echo "FAIL: $* (on the test command's own display)" >&2; exit 1; fi
  echo "skipped: $*"; exit "$SKIP"
}
