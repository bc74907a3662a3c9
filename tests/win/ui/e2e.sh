#!/usr/bin/env bash
# End to end: the real clipdock.exe under Wine on the test display. Items
# come from the X clipboard (text, HTML, a picture Wine offers as CF_DIB),
# a click on the tray icon brings the panel up, screenshots of the panel and
# the popup are checked for the header, the frame and the list rows, a click
# on a list row restores that row's item, Ctrl+Alt+Up and Ctrl+Alt+Down step
# the clipboard through the history with the list following, and
# Ctrl+Alt+Shift sends the panel away and shows the popup; the About box
# is shown and closed. The panel placed partly left of the screen (where a
# monitor left of the primary one lies) is hit-tested at negative points and
# docked again by a display change; the tray icon comes back after the
# taskbar restarted; with both transparency limits typed as 255 a show
# still takes clicks; a click on the close glyph ends the program.
#   e2e.sh BIN_DIR WINE_STATE SCREENSHOT_DIR
set -u
shots=$3
source "$(dirname "$0")/../desktop.sh" "$2" "$1"
mkdir -p "$shots"
CONVERT=/usr/bin/convert
FRAME="srgb(8,27,203)"
OCCUPIED_ROW="srgb(0,128,234)"
CURRENT_ROW="srgb(0,14,55)"

before_cleanup() { xdotool keyup Up Down shift alt ctrl 2>/dev/null; }

fresh_collection || { echo "e2e: cannot find the item folder" >&2; exit 1; }
files_are() { [ "$(files)" -eq "$1" ]; }

# A reader waits for the owner's answer; Wine may not answer for a target
# it cannot make, so every read has its own deadline.
clipboard_text() { timeout 5 xclip -selection clipboard -o -t UTF8_STRING 2>/dev/null; }
clipboard_is() {
  local text; text=$(clipboard_text)
  check_note="clipboard: $text"
  [ "$text" = "$1" ]
}
clipboard_has() { timeout 5 xclip -selection clipboard -o -t TARGETS 2>/dev/null | grep -qx "$1"; }

find_window() { xdotool search --name "^$1\$" 2>/dev/null | head -n 1; }
visible_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
window_visible() { [ -n "$(visible_window "$1")" ]; }
window_hidden() { ! window_visible "$1"; }
geometry() {  # sets X Y WIDTH HEIGHT of window $1
  eval "$(xdotool getwindowgeometry --shell "$1")"
}
shot() { import -window root "$shots/$1.png"; }
# count_color IMAGE X Y W H COLOUR: pixels of exactly that colour in the area.
count_color() {
  "$CONVERT" "$1" -crop "$4x$5+$2+$3" +repage -fill black +opaque "$6" -fill white \
    -opaque "$6" -format "%[fx:round(mean*w*h)]" info:
}
colours() { "$CONVERT" "$1" -crop "$4x$5+$2+$3" +repage -format '%k' info:; }
at_least() { [ "$1" -ge "$2" ]; }

# Texts unique to this run: what an earlier run left on the clipboard (Wine
# keeps it while its server runs) can never be taken for one of them.
run="$$-$RANDOM"
printf 'e2e first item %s' "$run" >"$work/first.txt"
printf 'e2e second item %s' "$run" >"$work/second.txt"
printf 'e2e third item %s' "$run" >"$work/third.txt"
printf '<b>e2e html %s</b>' "$run" >"$work/page.html"
"$CONVERT" -size 64x32 xc:"rgb(220,40,$((RANDOM % 200)))" -fill "rgb(40,40,220)" \
  -draw "rectangle 32,0 63,31" -type TrueColor BMP3:"$work/picture.bmp"
first="e2e first item $run" second="e2e second item $run" third="e2e third item $run"

# A copy still ending (from an earlier run) would answer the hotkeys too.
panel_exists() { [ -n "$(find_window 'Enjoy your clipboard')" ]; }
no_panel() { ! panel_exists; }
check "no other copy of the program runs" until_ok 20 no_panel
start_clipdock 30
check "the panel window exists" until_ok 30 panel_exists
# Joining the viewer chain captures whatever the clipboard holds now.
until_ok 10 files_are 1
base=$(files)

# Five captures, oldest first; each waits for its item file. Slots then
# hold: 0 third (current), 1 second, 2 picture, 3 html, 4 first.
n=0
for entry in "text/plain first.txt" "text/html page.html" "image/bmp picture.bmp" \
             "text/plain second.txt" "text/plain third.txt"; do
  set -- $entry
  put_clip "$work/$2" -t "$1"
  n=$((n + 1))
  check "capture $n ($1)" until_ok 15 files_are $((base + n))
done

# The tray icon sits in Wine's own tray window at the top left, icons side
# by side from its left edge; an icon left by an ended earlier copy may
# still take a place, so each place is tried until the panel shows.
read -r tray_x tray_y tray_w tray_h < <("$wine" "$tool" tray-area 5000 2>/dev/null | tr -d '\r')
check "the tray window exists" test -n "${tray_h:-}"
[ -n "${tray_h:-}" ] || { echo "$failures failed"; exit 1; }
panel_awake() {  # a tray click, then the panel visible and taking clicks
  local x
  for ((x = tray_x + tray_h / 2; x < tray_x + tray_w; x += tray_h)); do
    xdotool mousemove "$x" $((tray_y + tray_h / 2)) click 1
    until_ok 2 window_visible 'Enjoy your clipboard' && break
  done
  window_visible 'Enjoy your clipboard' || return 1
  sleep 0.6  # the fade-in (four 100 ms steps) makes the panel take clicks again
}
check "a tray click shows the panel" panel_awake
# The panel's X window is looked up as it shows: Wine may have made it anew
# since the hidden panel was created (once it was gone right after it had
# been found).
panel=$(visible_window 'Enjoy your clipboard')
[ -n "$panel" ] || give_up "the panel is not shown"
geometry "$panel"
px=$X py=$Y pw=$WIDTH ph=$HEIGHT
# The list starts below the header and the preview box; its rows are 60
# pixels high. Row centre N, counted from the top of the visible list:
list_y=$((py + 148))
row_y() { echo $((list_y + 60 * $1 + 30)); }
shot panel
check "the panel's frame is drawn" \
  at_least "$(count_color "$shots/panel.png" "$px" "$py" "$pw" 160 "$FRAME")" $((2 * 3 * (pw - 20)))
check "the header shows its images" at_least "$(colours "$shots/panel.png" "$px" "$py" "$pw" 80)" 20
check "the list shows occupied rows" \
  at_least "$(count_color "$shots/panel.png" "$px" "$list_y" "$pw" 300 "$OCCUPIED_ROW")" 300
# The HTML item (row 2) has no preview: its text, under the glyph, lies
# within the row's box (20 pixels in from the list's sides), not cut at
# both ends. The list's client area starts inside the panel's frame and
# its own edge and ends at the scroll bar.
ink() {  # ink IMAGE X Y W H: dark pixels in the area
  "$CONVERT" "$1" -crop "$4x$5+$2+$3" +repage -threshold 50% -negate \
    -format "%[fx:round(mean*w*h)]" info:
}
no_preview_fits() {
  local y=$((list_y + 60 * 2 + 37)) left=$((px + 6 + 20)) right=$((px + pw - 22 - 20))
  check_note="ink at the box's left $(ink "$1" "$left" "$y" 3 20), right $(ink "$1" $((right - 3)) "$y" 3 20)"
  at_least "$(ink "$1" $((left + 3)) "$y" $((right - left - 6)) 20)" 50 &&
    [ "$(ink "$1" "$left" "$y" 3 20)" -eq 0 ] && [ "$(ink "$1" $((right - 3)) "$y" 3 20)" -eq 0 ]
}
check "the no-preview text fits its row" no_preview_fits "$shots/panel.png"

# While the newest item is the incoming one, the list starts at slot 1, so
# a click on the first row restores slot 1. The checks above may have
# outlasted the panel's 8-second inactivity count, after which it lets the
# mouse through, so the tray brings it up again first.
panel_awake
xdotool mousemove $((px + pw / 2)) "$(row_y 0)" click 1
check "a row click restores its item" until_ok 10 clipboard_is "$second"
current_row_is() {  # current_row_is ROW: the list marks that row as current
  shot list
  at_least "$(count_color "$shots/list.png" "$px" $((list_y + 60 * $1)) "$pw" 60 "$CURRENT_ROW")" 100
}
# Now slot 0 is an ordinary row again, and the clicked item is the second.
check "the list marks the clicked row as current" until_ok 5 current_row_is 1
cp "$shots/list.png" "$shots/panel-after-click.png"

# The hotkeys, pressed while another program has the keyboard focus. The
# hook reads the keys as they are when it handles an event, so each step
# holds Ctrl and Alt until the focused program has seen them, then holds
# the arrow until the step has happened.
check "the focus window starts" run_tool 15 ready "$work/keys" "$tool" focus 120
focus=$(find_window 'e2e keys')
xdotool mousemove --window "$focus" 50 30 >/dev/null 2>&1
xdotool windowfocus --sync "$focus" >/dev/null 2>&1
step() {  # step KEY EXPECTED-CHECK...: one Ctrl+Alt+KEY, true once the check holds
  local key=$1 ok=0
  shift
  : >"$work/keys"
  xdotool keydown ctrl alt
  until_ok 5 said 'key 18'
  xdotool keydown "$key"
  until_ok 10 "$@" || ok=1
  xdotool keyup "$key"
  xdotool keyup alt ctrl
  return $ok
}
check "Ctrl+Alt+Up steps to the newer item" step Up clipboard_is "$third"
check "the list follows to the first row" until_ok 5 current_row_is 0
check "Ctrl+Alt+Down steps back" step Down clipboard_is "$second"
check "Ctrl+Alt+Down steps to the picture" step Down clipboard_has image/bmp
check "the list follows to the third row" until_ok 5 current_row_is 2
check "Ctrl+Alt+Down steps to the HTML" step Down clipboard_has text/html
check "Ctrl+Alt+Up steps back to the picture" step Up clipboard_has image/bmp
: >"$work/keys"
xdotool key x
check "other keys still reach the focused program" until_ok 5 said 'key 88'

# Shift sends the panel away and shows the popup at the bottom right.
check "Ctrl+Alt+Shift shows the popup" step shift window_visible 'Clipboard Viewer'
popup=$(visible_window 'Clipboard Viewer')
geometry "$popup"
shot popup
check "the popup shows the header" at_least "$(colours "$shots/popup.png" "$X" "$Y" "$WIDTH" 60)" 10
check "the popup shows the current picture" \
  at_least "$(count_color "$shots/popup.png" "$X" "$Y" "$WIDTH" "$HEIGHT" "srgb(40,40,220)")" 100
check "the popup slides away" until_ok 15 window_hidden 'Clipboard Viewer'

# The About box as the user sees it (build/screenshots/about.png).
"$wine" "$tool" command 1107 >/dev/null 2>&1
check "the About box opens" until_ok 10 window_visible About
about=$(find_window About)
geometry "$about"
about_drawn() {  # black ink on a light ground, not the black screen behind
  shot about
  local ink
  ink=$("$CONVERT" "$shots/about.png" -crop "${WIDTH}x$HEIGHT+$X+$Y" +repage -fill white \
    +opaque black -format "%[fx:round((1-mean)*w*h)]" info:)
  at_least "$ink" 1000 && at_least $((WIDTH * HEIGHT / 4)) "$ink"
}
check "the About box shows its picture" until_ok 5 about_drawn
xdotool windowfocus --sync "$about" >/dev/null 2>&1
xdotool key alt+F4
check "Alt+F4 closes the About box" until_ok 5 window_hidden About

# A monitor left of the primary one lies at negative coordinates: the panel
# placed partly there keeps its header for dragging and its glyphs at its
# right edge (build/screenshots/monitor-left.png). Xvfb shows one screen,
# so the hit test is asked at the points a pointer there would have.
hit_is() { [ "$("$wine" "$tool" hit-test "$1" "$2" 2>/dev/null | tr -d '\r')" = "$3" ]; }
panel_awake
"$wine" "$tool" place -100 50 >/dev/null 2>&1
check "the panel goes partly left of the screen" until_ok 5 hit_is -60 130 2
xdotool mousemove 600 600  # no tray tip over it
shot monitor-left
check "its header left of the screen drags it" hit_is -60 58 2
check "its close glyph is at its right edge" hit_is 71 58 20
check "its minimise glyph beside it" hit_is 50 58 8
# A new resolution leaves such a panel off the screen: the display change
# docks it again where it started.
docked_again() { geometry "$panel"; [ "$X" = "$px" ] && [ "$Y" = "$py" ]; }
"$wine" "$tool" display-change >/dev/null 2>&1
check "a display change docks it again" until_ok 5 docked_again

# Whether the panel is shown, as the program sees it: Wine 10 leaves a
# hidden layered window on the X screen.
panel_shown() { "$wine" "$tool" panel-shown >/dev/null 2>&1; }
panel_hidden() { ! panel_shown; }
# A click on the minimise glyph; true once the panel is hidden.
minimise_click() {
  geometry "$panel"
  xdotool mousemove $((X + WIDTH - 30)) $((Y + 8)) click 1
  until_ok 10 panel_hidden  # Wine 8 takes 2 s to hide it
}
# A tray click that shows the hidden panel, tried at each icon's place.
tray_shows_panel() {
  local x
  for ((x = tray_x + tray_h / 2; x < tray_x + tray_w; x += tray_h)); do
    xdotool mousemove "$x" $((tray_y + tray_h / 2)) click 1
    until_ok 3 panel_shown && break
  done
  panel_shown || return 1
  sleep 0.6  # a fade-in (four 100 ms steps) ends before the panel takes clicks
}

# No fading: both limits typed as 255 in Settings (Tab from Cancel to OK,
# to the maximum, to the minimum). A panel sent away and called back by the
# tray still takes clicks (build/screenshots/equal-limits.png).
"$wine" "$tool" command 1100 >/dev/null 2>&1
check "the Settings box opens" until_ok 10 window_visible Settings
xdotool windowfocus --sync "$(find_window Settings)" >/dev/null 2>&1
xdotool key Tab Tab
xdotool type 255
xdotool key Tab
xdotool type 255
xdotool key Return
check "Settings keeps the equal limits" until_ok 5 window_hidden Settings
check "the settings file holds them" grep -aq 'transparency_min=255' "$ini"
check "the minimise glyph hides the panel with equal limits" minimise_click
check "the tray shows it again" tray_shows_panel
xdotool mousemove $((px + pw / 2)) "$(row_y 0)" click 1
check "the shown panel takes a row click" until_ok 10 clipboard_is "$third"
shot equal-limits

# With the panel hidden, the taskbar restarts (Explorer ended and started
# again) without the icon, and the icon is back for the next tray click.
check "the minimise glyph hides the panel" minimise_click
"$wine" "$tool" taskbar-restart >/dev/null 2>&1
check "the tray icon is back after the taskbar restarted" tray_shows_panel

# The close glyph, clicked as a person clicks: the pointer moves a little
# between the press and the release. A click that came while the panel
# still let the mouse through (a slow fade-in) is made again.
close_click() {
  panel_awake
  geometry "$panel"
  local x=$((X + WIDTH - 9)) y=$((Y + 8))
  xdotool mousemove "$x" "$y" mousedown 1 mousemove $((x - 3)) "$y" mouseup 1
  until_ok 5 gone "$clipdock"
}
for try in 1 2 3; do close_click && break; done
code=running
if until_ok 10 gone "$clipdock"; then
  wait "$clipdock"
  code=$?
fi
check "a click on the close glyph ends the program with code 0" test "$code" = 0
echo "$failures failed"
[ "$failures" -eq 0 ]
