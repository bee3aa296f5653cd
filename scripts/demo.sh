#!/usr/bin/env bash
# Installs what is missing, builds, lays out the demo installation in build/demo/ and runs a first
# run of the launcher on it under Wine, with the stand-in JDK registered as a JDK 1.3.
#
# With a display, the console and the tray icon appear there; exit with "Exit" or Esc.
# Without one, it starts Xvfb with a tray, waits until the server is ready, saves a screenshot of
# the console to build/demo/console.png, fetches the application's page and prints its title, then
# presses the console's Exit button and reports the launcher's exit status.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh >/dev/null

headless=0
[ -z "${DISPLAY:-}" ] && headless=1
source scripts/wine-env.sh
trap vantry_wine_stop EXIT
vantry_wine_start "$PWD/build/demo-wineprefix"

demo="$PWD/build/demo"
port=$(tr -dc 0-9 < "$demo/tomcat/conf/vantry-port.txt")
jdk=$("$WINE" winepath -w "$demo/jdk1.3.1" 2>/dev/null | tr -d '\r')

# A first run: nothing remembered, no initialisation marker, a JDK 1.3 registered (in the registry's
# 32-bit view, where Java's installers register and the launcher keeps its settings).
"$WINE" reg delete 'HKLM\SOFTWARE\Vantry' /f /reg:32 >/dev/null 2>&1 || true
"$WINE" reg delete 'HKCU\SOFTWARE\Vantry' /f >/dev/null 2>&1 || true
"$WINE" reg add 'HKLM\SOFTWARE\JavaSoft\Java Development Kit\1.3.1' /v JavaHome /t REG_SZ /d "$jdk" /f /reg:32 >/dev/null
rm -f "$demo/config/vty3.2.sav"

echo "demo: starting $demo/Vantry.exe (the server will answer on http://127.0.0.1:$port/Vantry)"
"$WINE" "$demo/Vantry.exe" &
launcher=$!

if [ "$headless" = 0 ]; then
  set +e
  wait "$launcher"
  status=$?
  echo "demo: the launcher ended with status $status"
  exit "$status"
fi

control="$PWD/build/tools/vantry-control.exe"
if ! "$WINE" "$control" wait-ready 180; then
  echo "demo: the server did not become ready; the console reads:"
  "$WINE" "$control" text || true
  kill "$launcher" 2>/dev/null || true
  exit 1
fi
sleep 1
import -window root "$demo/console.png"
echo "demo: screenshot saved to $demo/console.png"
title=$(curl -s "http://127.0.0.1:$port/Vantry" | grep -o '<title>[^<]*</title>' | sed 's/<[^>]*>//g')
echo "demo: http://127.0.0.1:$port/Vantry answers with the page titled \"$title\""
echo "demo: pressing the console's Exit button"
"$WINE" "$control" press exit || true
set +e
wait "$launcher"
status=$?
set -e
echo "demo: the launcher ended with status $status"
if curl -s -o /dev/null "http://127.0.0.1:$port/Vantry"; then
  echo "demo: the server is still answering after the exit"
  exit 1
fi
echo "demo: the server has ended with it"
exit "$status"
