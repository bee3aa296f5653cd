#!/usr/bin/env bash
# Builds and runs the benchmark under Wine in its own prefix; prints the figures and a table.
# Arguments go to the benchmark: --runs N, --quick, --only flood|ready|startup|exit|idle.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh >/dev/null
source scripts/wine-env.sh
trap vantry_wine_stop EXIT
vantry_wine_start "$PWD/build/bench-wineprefix"
"$WINE" build/bench/vantry-bench.exe "$@"
