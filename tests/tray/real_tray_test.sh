#!/usr/bin/env bash
# The launcher's notification-area icon in a real XEmbed tray (trayer on the test display), worked
# with xdotool as a user would: no hooks inside the launcher.
#   real_tray_test.sh CASE BUILD_DIR
# Uses the display, Wine prefix and wineserver already set up by scripts/wine-env.sh. Exits 77
# (skipped) when the display has no trayer tray, as on a user's own desktop, but fails instead on
# the display that the test command started with its tray.
set -uo pipefail

readonly SKIP=77
case_name=${1:?usage: real_tray_test.sh CASE BUILD_DIR}
build=$(cd "${2:?usage: real_tray_test.sh CASE BUILD_DIR}" && pwd)

source "$(dirname "${BASH_SOURCE[0]}")/../support/script-wine.sh"
log() { echo "[$(date +%T)] $*"; }
fail() {
  echo "FAIL: $*" >&2
  if [ -n "${build:-}" ] && mkdir -p "$build/screenshots" 2>/dev/null &&
    import -window root "$build/screenshots/failed-$case_name.png" 2>/dev/null; then
    echo "screen at the failure: $build/screenshots/failed-$case_name.png" >&2
  fi
  [ -n "${panel:-}" ] && { echo "--- tray ---"; xwininfo -id "$panel" -tree | sed -n '5,$p'; } >&2
  if [ -n "${launcher_pid:-}" ] && kill -0 "$launcher_pid" 2>/dev/null; then
    echo "--- console text ---" >&2
    control text >&2 2>/dev/null || true
    echo "--------------------" >&2
  fi
  exit 1
}

[ -n "${DISPLAY:-}" ] || skip "no DISPLAY"
for tool in xdotool xwininfo import convert ss; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[ -n "$WINE" ] && [ -x "$WINE" ] || skip "no wine64"

# trayer's dock: the window named "panel" of class "trayer".
tray_panel() { xwininfo -root -children 2>/dev/null | awk '/"panel": \("panel" "trayer"\)/ { print $1; exit }'; }
panel=$(tray_panel)
root_window=$(xwininfo -root | awk '/Window id:/ { print $4 }')
[ -n "$panel" ] || skip "no trayer system tray on display $DISPLAY"

demo=$build/demo
control_exe=$build/tools/vantry-control.exe
opener_exe=$build/tests/bin/test_opener.exe
for f in "$demo/Vantry.exe" "$demo/jdk1.3.1/bin/java.exe" "$control_exe" "$opener_exe"; do
  [ -f "$f" ] || fail "missing $f (build first)"
done

winpath() { "$WINE" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
control() { "$WINE" "$control_exe" "$@" 2>/dev/null </dev/null; }

# Polls a command until it succeeds: nothing here depends on how fast the machine is.
wait_for() {
  local seconds=$1; shift
  local end=$((SECONDS + seconds))
  until "$@"; do
    [ "$SECONDS" -ge "$end" ] && return 1
    sleep 0.2
  done
}

# ---- the X side ----------------------------------------------------------------------------

# Top-level windows of the launcher's process: "id name" per line (name empty for menus).
launcher_windows() {
  xwininfo -root -children 2>/dev/null |
    sed -n 's/^ *\(0x[0-9a-f]*\) \(.*\): ("vantry\.exe" "vantry\.exe").*/\1 \2/p' |
    sed 's/ (has no name)$/ /; s/ "\(.*\)"$/ \1/'
}
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
window_named() { launcher_windows | awk -v n="$1" '{ id = $1; $1 = ""; sub(/^ /, ""); if ($0 == n) print id }'; }
visible_window_named() {
  local w
  for w in $(window_named "$1"); do viewable "$w" && { echo "$w"; return 0; }; done
  return 1
}
console_visible() { visible_window_named "Vantry" >/dev/null; }
console_hidden() { ! console_visible; }

# The launcher's open popup menu: a viewable unnamed top-level window of its process.
menu_window() {
  local w name
  while read -r w name; do
    [ -z "$name" ] || continue
    viewable "$w" || continue
    local h; h=$(xwininfo -id "$w" | awk '/Height:/ { print $2 }')
    [ "${h:-0}" -gt 20 ] && { echo "$w"; return 0; }
  done < <(launcher_windows)
  return 1
}
menu_open() { menu_window >/dev/null; }
# Wine draws the tray's balloons in its explorer.exe, which holds the docked icons: a viewable
# unnamed top-level window of that process, larger than a tooltip's single line.
balloon_window() {
  local w
  for w in $(xwininfo -root -children 2>/dev/null |
    sed -n 's/^ *\(0x[0-9a-f]*\) (has no name): ("explorer\.exe" "explorer\.exe").*/\1/p'); do
    viewable "$w" || continue
    local h; h=$(xwininfo -id "$w" | awk '/Height:/ { print $2 }')
    [ "${h:-0}" -gt 30 ] && { echo "$w"; return 0; }
  done
  return 1
}
balloon_shown() { balloon_window >/dev/null; }
balloon_gone() { ! balloon_shown; }
# Waits for a balloon, keeps its picture and checks that it carries text, then waits until it has
# gone by itself (Wine shows one for at least 10 s), so that it covers no click on the icon.
expect_balloon() { # picture-name what
  wait_for 30 balloon_shown || fail "no balloon appeared $2"
  local b; b=$(balloon_window)
  sleep 0.5 # drawn
  mkdir -p "$build/screenshots"
  shot "$b" "$build/screenshots/$1" || fail "cannot take $1"
  log "balloon $2: saved $build/screenshots/$1"
  local text; text=$(convert "$build/screenshots/$1" -fx 'r<0.3&&g<0.3&&b<0.3' -format '%[fx:mean]' info: 2>/dev/null)
  awk -v s="$text" 'BEGIN { exit !(s > 0.005) }' || fail "the balloon $2 shows no text"
  wait_for 60 balloon_gone || fail "the balloon $2 did not go"
}
menu_closed() { ! menu_open; }

# Windows docked in the tray panel that carry a class: the icons (trayer's own sockets have none).
docked_icons() {
  xwininfo -id "$panel" -tree 2>/dev/null | awk 'NR > 4 && /\("[^"]*" "[^"]*"\)/ { print $1 }' | sort
}
geometry() { # id -> "W H X Y" (absolute)
  xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X:/ { x = $4 } /Absolute upper-left Y:/ { y = $4 }
    /^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 } END { if (w) print w, h, x, y }'
}
shot() { # id file
  local w h x y
  read -r w h x y < <(geometry "$1") || return 1
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$2" 2>/dev/null
}
# The ready icon is a green check, the stopped icon a red bar, the busy frames a yellow ring.
fraction() { convert "$1" -fx "$2" -format '%[fx:mean]' info: 2>/dev/null; }
icon_colour() {
  local f=$1 yellow green red
  yellow=$(fraction "$f" 'r>0.75&&g>0.75&&b<0.3')
  green=$(fraction "$f" 'g>0.35&&r<0.2&&b<0.2')
  red=$(fraction "$f" 'r>0.75&&g<0.25&&b<0.25')
  awk -v y="$yellow" -v g="$green" -v r="$red" 'BEGIN {
    if (y > 0.05 && g < 0.01 && r < 0.01) print "busy";
    else if (g > 0.05 && y < 0.01 && r < 0.01) print "ready";
    else if (r > 0.05 && y < 0.01 && g < 0.01) print "stopped";
    else print "unknown" }'
}
icon_state() { local f=$tmp/icon-now.png; shot "$icon" "$f" && icon_colour "$f"; }
icon_is() { [ "$(icon_state)" = "$1" ]; }
save_tray() { # the whole tray area, under the build's screenshots
  mkdir -p "$build/screenshots"
  shot "$panel" "$build/screenshots/$1" || fail "cannot take $1"
  log "saved $build/screenshots/$1"
}

save_menu() { mkdir -p "$build/screenshots"; cp "$tmp/menu.png" "$build/screenshots/$1"; log "saved $build/screenshots/$1"; }

icon_centre() { local w h x y; read -r w h x y < <(geometry "$icon"); echo "$((x + w / 2)) $((y + h / 2))"; }
# Two presses on the icon within the double-click time make the second a double click, which the
# launcher rightly ignores: clicks are kept well apart.
last_click=0
click_icon() { # button [ctrl]
  local now; now=$(date +%s%N)
  local wait_ns=$((last_click + 1500000000 - now))
  [ "$wait_ns" -gt 0 ] && sleep "$(awk -v n="$wait_ns" 'BEGIN { printf "%.3f", n / 1e9 }')"
  local cx cy; read -r cx cy < <(icon_centre)
  xdotool mousemove --sync "$cx" "$cy"
  if [ "${2:-}" = ctrl ]; then
    # As on Windows, where a click in the tray makes the taskbar the foreground: with the focus on
    # the root window the keys reach the window under the pointer, so the tray gets Ctrl and the
    # click in one stream, in order, whichever launcher window had the focus.
    xdotool windowfocus --sync "$root_window"
    xdotool keydown Control_L; sleep 0.3
    xdotool click "$1"; sleep 0.3
    xdotool keyup Control_L
  else
    xdotool click "$1"
  fi
  last_click=$(date +%s%N)
  sleep 0.2
  # The pointer leaves so that no tooltip or hover stays over the tray.
  [ "$1" = 3 ] || xdotool mousemove 640 100
}

# Rows of the menu's selection highlight: "top bottom" of the blue band at the menu's left margin.
highlight_rows() {
  convert "$1" -crop 1x10000+4+0 +repage txt:- 2>/dev/null | awk -F'[,:]' 'NR > 1 {
      split($0, p, "[()]"); split(p[2], c, ",");
      if (c[3] > 200 && c[1] < 120) { if (top == "") top = $2; bottom = $2 } }
    END { if (top != "") print top, bottom }'
}
# Share of black text pixels in a band of rows of a menu picture: grayed text has none.
dark_share() { # file top bottom
  local width; width=$(identify -format '%w' "$1")
  convert "$1" -crop "$((width - 8))x$(($3 - $2 + 1))+4+$2" +repage -fx 'r<0.3&&g<0.3&&b<0.3' \
    -format '%[fx:mean]' info: 2>/dev/null
}

# Opens the menu with a right click; menu.png gets its picture before any item is selected.
open_menu() {
  click_icon 3
  wait_for 20 menu_open || fail "a right click on the tray icon opened no menu"
  menu=$(menu_window)
  # The pointer rests on the menu's top border, over no item: keys reach the menu whether or not
  # a window of the launcher has the keyboard focus, and no item is hovered.
  local w h x y; read -r w h x y < <(geometry "$menu")
  xdotool mousemove --sync $((x + w / 2)) $((y + 1))
  sleep 0.5 # drawn
  shot "$menu" "$tmp/menu.png"
}
band_after_key() { # key previous-band -> waits until the highlight has moved, prints the new band
  xdotool key "$1"
  local end=$((SECONDS + 10)) band
  while :; do
    shot "$menu" "$tmp/menu-key.png"
    band=$(highlight_rows "$tmp/menu-key.png")
    [ -n "$band" ] && [ "$band" != "$2" ] && { echo "$band"; return 0; }
    [ "$SECONDS" -ge "$end" ] && return 1
    sleep 0.2
  done
}
# Selects "Go to Vantry..." (the item right after "Open") with the keyboard and leaves it selected;
# goto_drawn becomes "enabled" or "grayed", as the item was drawn before any selection.
select_goto() {
  local first second share
  first=$(band_after_key Down "") || fail "the Down key selected nothing in the tray menu"
  [ "${first%% *}" -le 5 ] || fail "the first Down did not select the menu's first item (rows $first)"
  second=$(band_after_key Down "$first") || fail "the second Down did not move the selection"
  [ "${second%% *}" -le $((${first##* } + 2)) ] ||
    fail "the menu's second item is not right below the first (rows $first, then $second)"
  share=$(dark_share "$tmp/menu.png" ${second% *} ${second#* })
  if awk -v s="$share" 'BEGIN { exit !(s > 0.005) }'; then goto_drawn=enabled; else goto_drawn=grayed; fi
}

# ---- the Windows side ----------------------------------------------------------------------

tmp=$(mktemp -d /tmp/vantry-realtray.XXXXXX)
home=$tmp/home
launcher_pid="" listener_pid="" launcher_status="" registry_saved=0 winhome="" port=""
saved_keys=()
trap cleanup EXIT

reg() { "$WINE" reg "$@" >"$tmp/reg.out" 2>&1 </dev/null; }
# A registry write the test relies on; the tool is tried again, as it very rarely fails to start.
reg_set() {
  local attempt
  for attempt in 1 2 3; do
    reg add "$@" /f && return 0
    sleep 1
  done
  fail "wine reg add $* failed: $(cat "$tmp/reg.out")"
}
# The launcher's keys are in the registry's 32-bit view (a user without rights keeps settings in
# HKCU); the shell's associations are in the 64-bit one.
readonly KEYS=('HKLM\SOFTWARE\Vantry' 'HKLM\SOFTWARE\JavaSoft' 'HKCU\SOFTWARE\Vantry'
  'HKLM\Software\Classes\http\shell\open\command')
readonly VIEWS=(/reg:32 /reg:32 /reg:32 /reg:64)
save_registry() {
  local i
  for i in "${!KEYS[@]}"; do
    if reg export "${KEYS[$i]}" "$(winpath "$tmp")\\key$i.reg" /y "${VIEWS[$i]}"; then saved_keys+=("$i"); fi
  done
  registry_saved=1
}
restore_registry() {
  local i
  [ "$registry_saved" = 1 ] || return 0
  for i in "${!KEYS[@]}"; do
    reg delete "${KEYS[$i]}" /f "${VIEWS[$i]}"
    [[ " ${saved_keys[*]} " == *" $i "* ]] && reg import "$(winpath "$tmp")\\key$i.reg" "${VIEWS[$i]}"
  done
}

stand_in_pids() { # Java stand-ins started for this test's home
  [ -n "$winhome" ] || return 0
  ps -eo pid=,args= | grep -F -- "$winhome\\" | grep -v grep | awk '{ print $1 }'
}
port_free() { ! ss -Hltn "sport = :$port" 2>/dev/null | grep -q .; }

cleanup() {
  xdotool keyup Control_L 2>/dev/null
  xdotool key Escape 2>/dev/null
  if [ -n "$launcher_pid" ] && kill -0 "$launcher_pid" 2>/dev/null; then
    control press exit
    wait_for 20 eval '! kill -0 "$launcher_pid" 2>/dev/null' || kill -KILL "$launcher_pid" 2>/dev/null
  fi
  local pid
  for pid in $(stand_in_pids); do kill -KILL "$pid" 2>/dev/null; done
  [ -n "$listener_pid" ] && kill "$listener_pid" 2>/dev/null
  restore_registry
  rm -rf "$tmp"
}

pick_port() {
  local p
  for _ in $(seq 200); do
    p=$((20000 + RANDOM % 20000))
    port=$p
    port_free && { echo "$p"; return 0; }
  done
  return 1
}

# A fresh installation: its own home and port, no settings, no initialisation marker.
prepare() { # java: registered | none
  mkdir -p "$home"
  cp -r "$demo/." "$home/"
  rm -rf "$home/CMakeFiles" "$home/Makefile" "$home/cmake_install.cmake" "$home/console.png" \
    "$home/config/vty3.2.sav"
  winhome=$(winpath "$home")
  port=$(pick_port) || fail "no free port"
  echo "$port" >"$home/tomcat/conf/vantry-port.txt"
  save_registry
  reg delete 'HKLM\SOFTWARE\Vantry' /f /reg:32
  reg delete 'HKLM\SOFTWARE\JavaSoft' /f /reg:32
  reg delete 'HKCU\SOFTWARE\Vantry' /f
  if [ "$1" = registered ]; then
    reg_set 'HKLM\SOFTWARE\JavaSoft\Java Development Kit\1.3.1' /v JavaHome /t REG_SZ /d "$winhome\\jdk1.3.1" /reg:32
  fi
  # The stand-in browser: the shell's "open" of http addresses runs it (Wine reads HKCR, that is
  # HKLM\Software\Classes, for this, not the user's classes).
  export VANTRY_OPENER_LOG
  VANTRY_OPENER_LOG="$(winpath "$tmp")\\opener.log"
  opener_log=$tmp/opener.log
  reg_set 'HKLM\Software\Classes\http\shell\open\command' /ve /t REG_SZ /d "\"$(winpath "$opener_exe")\" \"%1\""
  "$WINE" start "http://localhost:1/opener-check" >/dev/null 2>&1 </dev/null
  wait_for 60 grep -q opener-check "$opener_log" 2>/dev/null ||
    fail "the shell does not open http addresses with the stand-in browser"
  : >"$opener_log"
}
hide_on_startup() { reg_set 'HKLM\SOFTWARE\Vantry\Vantrybench' /v HideOnStartup /t REG_SZ /d true /reg:32; }

start_launcher() {
  [ -z "$(window_named Vantry)" ] || fail "another Vantry console is already running on $DISPLAY"
  local before; before=$(docked_icons)
  (cd "$home" && exec "$WINE" "$home/Vantry.exe") >"$tmp/launcher.out" 2>&1 </dev/null &
  launcher_pid=$!
  log "launcher started (port $port)"
  new_icon() { icon=$(comm -13 <(echo "$before") <(docked_icons) | head -n1); [ -n "$icon" ]; }
  wait_for 60 new_icon || fail "no icon was docked in the tray after the start"
  log "icon $icon docked in trayer's panel $panel"
  # Now and then Wine misses the tray's first mapping of a docked window: it then neither draws
  # the icon nor takes clicks on it, whatever the program does. Mapping it again mends that.
  if ! wait_for 5 icon_drawn; then
    log "the docked icon stays blank: mapping its window again"
    xdotool windowunmap --sync "$icon"
    xdotool windowmap --sync "$icon"
  fi
  wait_for 30 icon_drawn || fail "the docked icon shows nothing"
}
icon_drawn() { shot "$icon" "$tmp/drawn.png" && [ "$(convert "$tmp/drawn.png" -format '%[fx:standard_deviation]' info:)" != 0 ]; }
launcher_ended() { ! kill -0 "$launcher_pid" 2>/dev/null; }
wait_launcher_end() {
  wait_for 60 launcher_ended || fail "the launcher did not end"
  wait "$launcher_pid"
  launcher_status=$?
  launcher_pid=""
}
exit_with_button() {
  control press exit
  wait_launcher_end
  [ "$launcher_status" -eq 0 ] || fail "the launcher ended with status $launcher_status"
}

java_dialog_open() { visible_window_named "Vantry: Java not found" >/dev/null; }
wait_java_dialog() { wait_for 60 java_dialog_open || fail "the Java path dialog did not open"; }
# Types the stand-in JDK's java.exe into the Java path dialog and confirms it.
answer_java_dialog() {
  local d w h x y
  d=$(visible_window_named "Vantry: Java not found")
  # Without a window manager Wine restacks only the window made foreground: after the tray menu
  # (which makes the console foreground) the console covers its own modal dialog, which Windows
  # keeps above its owner. Raised here as Windows would show it.
  xdotool windowraise "$d"
  sleep 0.3
  read -r w h x y < <(geometry "$d")
  xdotool mousemove --sync $((x + w * 40 / 100)) $((y + h * 69 / 100)) click 1 # the path field
  sleep 0.3
  xdotool type --delay 30 "$winhome\\jdk1.3.1\\bin\\java.exe"
  xdotool key Return
  xdotool mousemove 640 100
  wait_for 30 eval '! java_dialog_open' || fail "the Java path dialog did not close"
}
wait_ready() {
  control wait-ready 180 || fail "the server did not become ready"
  log "server ready"
}
opened() { grep -c . "$opener_log" 2>/dev/null || true; }
app_url_opened() { grep -qxF "\"http://localhost:$port/Vantry\"" "$opener_log" 2>/dev/null; }

# A right click that opens the menu and Escape that closes it: once the menu has come and gone,
# every earlier click on the icon has been handled by the launcher.
settle_clicks() {
  open_menu
  xdotool key Escape
  wait_for 20 menu_closed || fail "Escape did not close the tray menu"
  sleep 2 # a browser the shell was asked to start has had time to write
}

# ---- the cases ------------------------------------------------------------------------------

# The icon is docked at start, animates while busy, turns ready, then stopped when the server dies,
# and leaves the tray at exit.
case_icon_states() {
  prepare none
  start_launcher
  wait_java_dialog # nothing is running yet: the icon stays busy while the dialog waits
  icon_is busy || fail "the icon is not the busy icon while the server starts (it looks $(icon_state))"
  save_tray tray-busy.png
  local frames=() sum end=$((SECONDS + 20))
  while [ "${#frames[@]}" -lt 3 ] && [ "$SECONDS" -lt "$end" ]; do
    shot "$icon" "$tmp/frame.png"
    [ "$(icon_colour "$tmp/frame.png")" = busy ] || fail "a busy frame does not look busy"
    sum=$(md5sum <"$tmp/frame.png" | cut -c1-32)
    [[ " ${frames[*]} " == *" $sum "* ]] || frames+=("$sum")
    sleep 0.15
  done
  [ "${#frames[@]}" -ge 3 ] || fail "the busy icon showed ${#frames[@]} different frame(s), not 3"
  log "busy icon animated through 3 frames"

  answer_java_dialog
  wait_ready
  wait_for 20 icon_is ready || fail "the icon did not turn ready (it looks $(icon_state))"
  save_tray tray-ready.png
  local first; shot "$icon" "$tmp/ready1.png"; first=$(md5sum <"$tmp/ready1.png")
  for _ in 1 2 3 4; do
    sleep 0.5
    shot "$icon" "$tmp/ready2.png"
    [ "$(md5sum <"$tmp/ready2.png")" = "$first" ] || fail "the ready icon keeps changing: the animation did not stop"
  done

  local server; server=$(stand_in_pids)
  [ -n "$server" ] || fail "no stand-in server process found"
  console_visible || fail "the console is not shown while the server runs"
  kill -KILL $server
  wait_for 30 icon_is stopped || fail "the icon did not turn stopped after the server ended (it looks $(icon_state))"
  save_tray tray-stopped.png
  # Wine shows a balloon 2 s after it is asked for: none may come while the console is shown.
  sleep 5
  balloon_gone || fail "a balloon appeared although the console is shown"
  control text | grep -q "Vantry has been terminated." || fail "the console does not report the server's end"

  exit_with_button
  wait_for 30 eval '! docked_icons | grep -qx "$icon"' || fail "the icon stayed in the tray after exit"
}

# A plain left click brings back a hidden console, whether hidden at start or by "Hide". While it is
# hidden, balloons tell the readiness and an end nobody asked for.
case_left_click() {
  prepare registered
  hide_on_startup
  start_launcher
  wait_ready
  console_hidden || fail "the console is shown although Hide on startup is set"
  expect_balloon tray-balloon-ready.png "at readiness"
  click_icon 1
  wait_for 30 console_visible || fail "a left click on the tray icon did not show the hidden console"
  log "left click showed the console hidden at start"
  control press hide
  wait_for 30 console_hidden || fail "the console's Hide button did not hide it"
  click_icon 1
  wait_for 30 console_visible || fail "a left click did not show the console hidden with Hide"
  click_icon 1
  sleep 2
  console_visible || fail "a left click on the icon hid the visible console"
  [ "$(opened)" -eq 0 ] || fail "a plain left click opened something: $(cat "$opener_log")"

  control press hide
  wait_for 30 console_hidden || fail "the console's Hide button did not hide it"
  local server; server=$(stand_in_pids)
  [ -n "$server" ] || fail "no stand-in server process found"
  kill -KILL $server
  expect_balloon tray-balloon-stopped.png "when the server ended"
  exit_with_button
}

# Ctrl+left click opens the application only once it is ready, and never shows the console.
case_ctrl_click() {
  prepare none
  hide_on_startup
  start_launcher
  wait_java_dialog
  console_hidden || fail "the console is shown although Hide on startup is set"
  click_icon 1 ctrl
  settle_clicks
  [ "$(opened)" -eq 0 ] || fail "Ctrl+click opened something before the server was ready: $(cat "$opener_log")"
  console_hidden || fail "Ctrl+click before the server was ready showed the console"
  log "Ctrl+click before ready did nothing"

  answer_java_dialog
  wait_ready
  console_hidden || fail "the console is shown although Hide on startup is set"
  click_icon 1 ctrl
  wait_for 30 app_url_opened ||
    fail "Ctrl+click on the ready icon did not open http://localhost:$port/Vantry (opened: $(cat "$opener_log"))"
  sleep 2
  [ "$(opened)" -eq 1 ] || fail "one Ctrl+click opened $(opened) times: $(cat "$opener_log")"
  console_hidden || fail "Ctrl+click on the ready icon showed the hidden console"
  log "Ctrl+click after ready opened the application once, console still hidden"
  exit_with_button
}

# The menu's "Go to Vantry..." is grayed and inert until ready, then opens the application; its
# "Exit" ends the launcher and its server.
case_menu() {
  prepare none
  start_launcher
  wait_java_dialog
  open_menu
  save_menu tray-menu-before-ready.png
  select_goto
  [ "$goto_drawn" = grayed ] || fail "\"Go to Vantry...\" is enabled in the menu before the server is ready"
  xdotool key Return
  wait_for 20 menu_closed || xdotool key Escape
  sleep 2
  [ "$(opened)" -eq 0 ] || fail "choosing the grayed \"Go to Vantry...\" opened: $(cat "$opener_log")"
  log "Go to grayed and inert before ready"

  answer_java_dialog
  wait_ready
  open_menu
  save_menu tray-menu-ready.png
  select_goto
  [ "$goto_drawn" = enabled ] || fail "\"Go to Vantry...\" is grayed in the menu while the server is ready"
  xdotool key Return
  wait_for 30 app_url_opened ||
    fail "choosing \"Go to Vantry...\" did not open http://localhost:$port/Vantry (opened: $(cat "$opener_log"))"
  log "Go to enabled after ready and opened the application"

  open_menu
  local band; band=$(band_after_key Up "") || fail "the Up key selected nothing in the tray menu"
  local height; height=$(identify -format '%h' "$tmp/menu.png")
  [ "${band##* }" -ge $((height - 6)) ] || fail "Up did not select the menu's last item, Exit (rows $band)"
  xdotool key Return
  wait_launcher_end
  [ "$launcher_status" -eq 0 ] || fail "the menu's Exit ended the launcher with status $launcher_status"
  wait_for 30 port_free || fail "port $port is still in use after Exit"
  wait_for 30 eval '[ -z "$(stand_in_pids)" ]' || fail "the stand-in server still runs after Exit"
  wait_for 30 eval '! docked_icons | grep -qx "$icon"' || fail "the icon stayed in the tray after Exit"
  log "menu Exit ended the launcher with status 0 and freed port $port"
}

# A server that cannot take its port ends: the icon turns stopped, never ready, and the menu's
# "Go to Vantry..." and Ctrl+click stay inert.
case_port_taken() {
  prepare registered
  python3 -c 'import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(1); time.sleep(3600)' "$port" &
  listener_pid=$!
  wait_for 30 eval '! port_free' || fail "the test could not take port $port"
  start_launcher
  wait_for 120 icon_is stopped || fail "the icon did not turn stopped when the port was taken (it looks $(icon_state))"
  save_tray tray-stopped-port-taken.png
  control text | grep -q "java.net.BindException" || fail "the server's bind failure is not in the console"
  wait_for 30 eval '[ -z "$(stand_in_pids)" ]' || fail "the server that could not bind still runs"
  control text | grep -q "Vantry has been terminated." || fail "the console does not report the server's end"
  icon_is stopped || fail "the icon left the stopped state"

  open_menu
  save_menu tray-menu-stopped.png
  select_goto
  [ "$goto_drawn" = grayed ] || fail "\"Go to Vantry...\" is enabled in the menu after the server ended"
  xdotool key Escape
  wait_for 20 menu_closed || fail "Escape did not close the tray menu"
  click_icon 1 ctrl
  settle_clicks
  [ "$(opened)" -eq 0 ] || fail "Ctrl+click after the server ended opened: $(cat "$opener_log")"
  exit_with_button
}

# A second start of the same installation hands over to the running launcher: the hidden console
# comes out of the tray, the second ends with status 0, and the tray and the server stay one each.
case_second_start() {
  prepare registered
  hide_on_startup
  start_launcher
  wait_ready
  console_hidden || fail "the console is shown although Hide on startup is set"
  local icons servers second status
  icons=$(docked_icons | wc -l)
  servers=$(stand_in_pids | wc -l)
  (cd "$home" && exec "$WINE" "$home/Vantry.exe") >"$tmp/second.out" 2>&1 </dev/null &
  second=$!
  wait_for 30 eval '! kill -0 "$second" 2>/dev/null' || fail "the second start did not end"
  status=0; wait "$second" || status=$?
  [ "$status" -eq 0 ] || fail "the second start ended with status $status"
  wait_for 30 console_visible || fail "the second start did not bring the hidden console out of the tray"
  sleep 2 # an icon or a server that the second start made would be there by now
  [ "$(docked_icons | wc -l)" -eq "$icons" ] || fail "the tray holds $(docked_icons | wc -l) icons after the second start, not $icons"
  [ "$(stand_in_pids | wc -l)" -eq "$servers" ] || fail "the second start started Java: $(stand_in_pids | wc -l) processes, not $servers"
  [ "$(window_named Vantry | wc -l)" -eq 1 ] || fail "there are $(window_named Vantry | wc -l) Vantry consoles"
  log "the second start handed over: one console, one icon, one server"
  exit_with_button
}

case "$case_name" in
  IconStates) case_icon_states ;;
  LeftClick) case_left_click ;;
  CtrlClick) case_ctrl_click ;;
  Menu) case_menu ;;
  PortTaken) case_port_taken ;;
  SecondStart) case_second_start ;;
  *) echo "unknown case $case_name" >&2; exit 2 ;;
esac
log "passed"
