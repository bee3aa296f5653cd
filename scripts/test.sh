#!/usr/bin/env bash
# Installs what is missing, builds both programs and runs every test under Wine.
# Extra arguments go to ctest (for example -R Tray).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
source scripts/wine-env.sh
trap vantry_wine_stop EXIT
vantry_wine_start "$PWD/build/wineprefix"
ctest --test-dir build --output-on-failure "$@"
