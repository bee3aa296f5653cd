#!/usr/bin/env bash
# The launcher answers the user at once while its server writes without pause: Esc, a click on
# "Exit" and a click on the tray icon, each sent through the X server with xdotool as a user's
# would be, act within 2 s, in every one of 5 tries.
#   flood_input_test.sh CASE BUILD_DIR      CASE: Escape, ExitClick or TrayClick
# The server is the benchmark's load_child.exe as java.exe, writing numbered lines without end.
# Uses the display, Wine prefix and wineserver set up by scripts/wine-env.sh. Exits 77 (skipped)
# when the display has no trayer tray, but fails instead on the test command's own display.
set -uo pipefail

readonly SKIP=77 TRIES=5 LIMIT_MS=2000
case_name=${1:?usage: flood_input_test.sh CASE BUILD_DIR}
build=$(cd "${2:?usage: flood_input_test.sh CASE BUILD_DIR}" && pwd)

source "$(dirname "${BASH_SOURCE[0]}")/../support/script-wine.sh"
log() { echo "[$(date +%T.%N | cut -c1-12)] $*"; }
fail() {
  echo "FAIL: $*" >&2
  local shot=$build/screenshots/failed-flood-$case_name.png
  if mkdir -p "$build/screenshots" 2>/dev/null && import -window root "$shot" 2>/dev/null; then
    echo "screen at the failure: $shot" >&2
  fi
  exit 1
}

[ -n "${DISPLAY:-}" ] || skip "no DISPLAY"
for tool in xdotool xwininfo import convert; do command -v "$tool" >/dev/null || skip "$tool is not installed"; done
[ -n "$WINE" ] && [ -x "$WINE" ] || skip "no wine64"
panel=$(xwininfo -root -children 2>/dev/null | awk '/"panel": \("panel" "trayer"\)/ { print $1; exit }')
[ -n "$panel" ] || skip "no trayer system tray on display $DISPLAY"

demo=$build/demo
control_exe=$build/tools/vantry-control.exe
flood_exe=$build/harness/load_child.exe
for f in "$demo/Vantry.exe" "$control_exe" "$flood_exe"; do [ -f "$f" ] || fail "missing $f (build first)"; done

winpath() { "$WINE" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
control() { "$WINE" "$control_exe" "$@" 2>/dev/null </dev/null; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
wait_for() { # seconds command...: polls; nothing here depends on the machine's speed
  local end=$((SECONDS + $1)); shift
  until "$@"; do [ "$SECONDS" -ge "$end" ] && return 1; sleep 0.05; done
}

# ---- the X side ----------------------------------------------------------------------------

console_window() { # the launcher's top-level X window named "Vantry"
  xwininfo -root -children 2>/dev/null |
    awk '/"Vantry": \("vantry\.exe" "vantry\.exe"\)/ { print $1 }' | while read -r w; do
      xwininfo -id "$w" 2>/dev/null | grep -q 'Map State: IsViewable' && { echo "$w"; break; }
    done
}
console_visible() { [ -n "$(console_window)" ]; }
console_hidden() { ! console_visible; }
menu_open() { # a viewable unnamed top-level window of the launcher, taller than a tooltip
  local w
  for w in $(xwininfo -root -children 2>/dev/null |
    awk '/\(has no name\): \("vantry\.exe" "vantry\.exe"\)/ { print $1 }'); do
    xwininfo -id "$w" 2>/dev/null |
      awk '/Map State: IsViewable/ { v = 1 } /^ *Height:/ { h = $2 } END { exit !(v && h > 20) }' && return 0
  done
  return 1
}
menu_closed() { ! menu_open; }
docked_icons() { xwininfo -id "$panel" -tree 2>/dev/null | awk 'NR > 4 && /\("[^"]*" "[^"]*"\)/ { print $1 }' | sort; }
geometry() { # id -> "W H X Y" (absolute)
  xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X:/ { x = $4 } /Absolute upper-left Y:/ { y = $4 }
    /^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 } END { if (w) print w, h, x, y }'
}
icon_drawn() {
  local w h x y; read -r w h x y < <(geometry "$icon") || return 1
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$tmp/icon.png" 2>/dev/null &&
    [ "$(convert "$tmp/icon.png" -format '%[fx:standard_deviation]' info:)" != 0 ]
}

# ---- the launcher, on a copy of the demo installation whose Java floods ----------------------

tmp=$(mktemp -d /tmp/vantry-flood.XXXXXX)
launcher_pid="" registry_saved=0
# The launcher's settings are in the registry's 32-bit view.
readonly KEY='HKLM\SOFTWARE\Vantry'
reg() { "$WINE" reg "$@" >"$tmp/reg.out" 2>&1 </dev/null; }
cleanup() {
  end_launcher
  if [ "$registry_saved" = 1 ]; then
    reg delete "$KEY" /f /reg:32
    [ -f "$tmp/key.reg" ] && reg import "$(winpath "$tmp")\\key.reg" /reg:32
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

end_launcher() {
  [ -n "$launcher_pid" ] || return 0
  if kill -0 "$launcher_pid" 2>/dev/null; then
    control press exit
    wait_for 30 eval '! kill -0 "$launcher_pid" 2>/dev/null' || kill -KILL "$launcher_pid" 2>/dev/null
  fi
  wait "$launcher_pid" 2>/dev/null
  launcher_pid=""
}

prepare() {
  mkdir -p "$tmp/home"
  cp -r "$demo/." "$tmp/home/"
  mkdir -p "$tmp/home/config" && : >"$tmp/home/config/vty3.2.sav" # the initialiser has run
  reg export "$KEY" "$(winpath "$tmp")\\key.reg" /y /reg:32 || rm -f "$tmp/key.reg"
  registry_saved=1
  reg delete "$KEY" /f /reg:32
  local attempt
  for attempt in 1 2 3; do
    # The flooding server ignores its stop command: the exit's wait for it is not what is measured here.
    reg add 'HKLM\SOFTWARE\Vantry\Vantrybench' /v JavaExe /t REG_SZ /d "$(winpath "$flood_exe")" /f /reg:32 &&
      reg add 'HKLM\SOFTWARE\Vantry\Vantrybench' /v StopTimeout /t REG_SZ /d 1500 /f /reg:32 && return 0
    sleep 1
  done
  fail "cannot store the settings: $(cat "$tmp/reg.out")"
}

# Starts the launcher and waits until its console shows the flood.
start_flooding_launcher() {
  console_hidden || fail "another Vantry console is already shown on $DISPLAY"
  local before; before=$(docked_icons)
  (cd "$tmp/home" && VANTRY_LOAD_STEPS=flood exec "$WINE" "$tmp/home/Vantry.exe") >"$tmp/launcher.out" 2>&1 </dev/null &
  launcher_pid=$!
  wait_for 60 console_visible || fail "the console did not show"
  wait_for 60 eval 'control text | grep -q "flood line of the load child"' || fail "the console shows no flood"
  icon=$(comm -13 <(echo "$before") <(docked_icons) | head -n1)
  text_at=$(control where text) && exit_at=$(control where exit) || fail "the console's controls were not found"
  log "launcher flooding (console $(console_window), tray icon ${icon:-none})"
}

# Runs action, then waits for condition: the milliseconds in between, or fails past the limit.
timed() { # what condition action...
  local what=$1 condition=$2; shift 2
  local start; start=$(now_ms)
  "$@"
  wait_for 30 "$condition" || fail "$what: nothing happened within 30 s"
  local took=$(($(now_ms) - start))
  log "$what: ${took} ms"
  [ "$took" -le "$LIMIT_MS" ] || fail "$what took ${took} ms, more than ${LIMIT_MS} ms, during the flood"
}

launcher_ended_well() {
  wait_for 30 eval '! kill -0 "$launcher_pid" 2>/dev/null' || fail "the launcher did not end after the exit"
  wait "$launcher_pid"
  local status=$?
  launcher_pid=""
  [ "$status" -eq 0 ] || fail "the launcher ended with status $status"
}

# A click, and the pointer moves away: Wine takes a click on a window that appeared under a pointer
# that has not moved since only after about 15 s.
click_at() { xdotool mousemove --sync "$1" "$2" click "${3:-1}" mousemove 640 100; }
# The user clicks into the console text, which takes the keyboard, and presses Esc there.
press_escape() { click_at $text_at && xdotool key Escape; }
click_exit() { click_at $exit_at; }
click_icon() { # [button]
  local w h x y
  read -r w h x y < <(geometry "$icon")
  click_at $((x + w / 2)) $((y + h / 2)) "${1:-1}"
}
right_click_icon() { click_icon 3; }
click_beside_menu() { click_at 600 90; }

prepare
case "$case_name" in
  Escape | ExitClick)
    action=press_escape
    [ "$case_name" = ExitClick ] && action=click_exit
    for try in $(seq "$TRIES"); do
      start_flooding_launcher
      timed "try $try: $case_name until the console is gone" console_hidden "$action"
      launcher_ended_well
    done
    ;;
  TrayClick)
    start_flooding_launcher
    [ -n "$icon" ] || fail "no icon was docked in the tray"
    # Now and then Wine misses the tray's first mapping of a docked window, which then takes no
    # clicks; mapping it again mends that.
    if ! wait_for 5 icon_drawn; then
      xdotool windowunmap --sync "$icon"
      xdotool windowmap --sync "$icon"
    fi
    # A click brings the hidden console back; a right click opens the menu over the flooding
    # console, and a click beside it closes it.
    for try in $(seq "$TRIES"); do
      control press hide
      wait_for 30 console_hidden || fail "Hide did not hide the console"
      sleep 1 # two clicks on the icon never make a double click
      timed "try $try: a click on the tray icon until the console shows" console_visible click_icon
      sleep 1
      timed "try $try: a right click on the tray icon until its menu shows" menu_open right_click_icon
      timed "try $try: a click beside the menu until it closes" menu_closed click_beside_menu
    done
    end_launcher
    ;;
  *) echo "unknown case $case_name" >&2; exit 2 ;;
esac
log "passed"
