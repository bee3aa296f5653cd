#!/usr/bin/env bash
# Builds and runs the soak under Wine in its own prefix; prints the figures and a Markdown table.
# Arguments go to the soak: --quick, --only runners|launcher|flood, --cycles N, --runs N, --seconds N.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh >/dev/null
source scripts/wine-env.sh
trap vantry_wine_stop EXIT
vantry_wine_start "$PWD/build/soak-wineprefix"
"$WINE" build/soak/vantry-soak.exe "$@"
