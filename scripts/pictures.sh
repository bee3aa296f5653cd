#!/usr/bin/env bash
# Makes the README's pictures anew: the ready console, the tray menu, the ready balloon, the Java
# path dialog and the settings window, as the tests that take them see them on the test command's own screen (Xvfb with a
# tray), copied to doc/.
set -euo pipefail
cd "$(dirname "$0")/.."
shots=build/screenshots
pictures="console-ready.png:console.png tray-menu-ready.png:tray-menu.png tray-balloon-ready.png:tray-balloon.png
  java-path-dialog.png:java-path-dialog.png settings.png:settings.png"
for p in $pictures; do rm -f "$shots/${p%%:*}"; done
# The test command's own screen, whatever display the caller has: the pictures look the same each time.
env -u DISPLAY scripts/test.sh -R '^(LauncherEndToEnd\.ScreenshotsOfTheReadyConsoleAndOfTheJavaPathDialog|LauncherEndToEnd\.SettingsWindowStoresJavaOptionsAndRestartsTheServerWithThemWhenAskedTo|RealTray\.Menu|RealTray\.LeftClick)$'
mkdir -p doc
for p in $pictures; do
  [ -s "$shots/${p%%:*}" ] || { echo "pictures: the tests made no $shots/${p%%:*}" >&2; exit 1; }
  cp "$shots/${p%%:*}" "doc/${p#*:}"
  echo "pictures: doc/${p#*:}"
done
