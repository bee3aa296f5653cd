#!/usr/bin/env bash
# Installs what is missing, builds both programs and runs every test under Wine.
# Extra arguments go to ctest (for example -R Tray). Fails when a test fails, when no test ran, and,
# on a whole run, when fewer tests ran than the build holds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
source scripts/wine-env.sh
trap vantry_wine_stop EXIT
vantry_wine_start "$PWD/build/wineprefix"

log=build/tests/last-run.log
set +e
ctest --test-dir build --output-on-failure --no-tests=error "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e

if grep -q 'RealTray\..*Skipped' "$log"; then
  echo "NOTE: the real-tray tests were skipped: the display $DISPLAY has no trayer tray" \
       "(run without DISPLAY and the test command starts its own)."
fi

# A test program whose listing failed leaves its tests out of the run without failing anything.
if [ $# -eq 0 ]; then
  expected=$(cat build/tests/expected-test-count)
  ran=$(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' "$log" | tail -n1)
  if [ "${ran:-0}" -ne "$expected" ]; then
    echo "FAIL: ${ran:-0} tests ran, but the build holds $expected" >&2
    [ "$status" -ne 0 ] || status=1
  fi
fi
exit "$status"
