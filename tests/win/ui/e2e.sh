#!/usr/bin/env bash
# End to end: the real clipdock.exe under Wine on the test display. Items
# come from the X clipboard (text, HTML, a picture Wine offers as CF_DIB),
# the tray icon brings the panel up, screenshots of the panel and the popup
# are checked for the header, the frame and the list rows, a click on a list
# row restores that row's item, and Ctrl+Alt+Shift shows the popup.
#   e2e.sh BIN_DIR WINE_STATE SCREENSHOT_DIR
set -u
bin=$1
state=$2
shots=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../../scripts/wine-env.sh" vars "$state"
[ -n "${DISPLAY:-}" ] || { echo "e2e: no test display" >&2; exit 1; }
mkdir -p "$shots"
CONVERT=/usr/bin/convert
FRAME="srgb(8,27,203)"
OCCUPIED_ROW="srgb(0,128,234)"
CURRENT_ROW="srgb(0,14,55)"

program_pid=
xclip_pids=()
cleanup() {
  if [ -n "$program_pid" ]; then
    kill "$program_pid" 2>/dev/null
    local end=$((SECONDS + 15))  # until its windows are gone
    while [ $SECONDS -lt $end ] && xdotool search --name '^Enjoy your clipboard$' 2>/dev/null | grep -q .; do
      sleep 0.1
    done
  fi
  for p in "${xclip_pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
}
trap cleanup EXIT

failures=0
check() {  # check DESCRIPTION COMMAND...
  last_clipboard=
  if "${@:2}"; then
    echo "ok: $1"
  else
    echo "FAILED: $1${last_clipboard:+ (clipboard: $last_clipboard)}"
    failures=$((failures + 1))
  fi
}
# until SECONDS COMMAND...: polls COMMAND every 0.1 s until it succeeds.
until_within() {
  local end=$((SECONDS + $1))
  shift
  while ! "$@"; do
    [ $SECONDS -ge $end ] && return 1
    sleep 0.1
  done
}

user=$(ls "$WINEPREFIX/drive_c/users" | grep -vx Public | head -n 1)
items="$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Tarn Clipboard"
ini="$WINEPREFIX/drive_c/windows/halcyon.ini"
rm -rf "$items"
rm -f "$ini"
item_count() { ls "$items" 2>/dev/null | grep -c '\.crx$'; }
items_are() { [ "$(item_count)" -eq "$1" ]; }

# The X clipboard, as another program sets it; xclip stays to serve it.
put_clipboard() {  # put_clipboard TARGET FILE
  xclip -selection clipboard -t "$1" -i "$2" &
  xclip_pids+=($!)
}
clipboard_text() { xclip -selection clipboard -o -t UTF8_STRING 2>/dev/null; }
clipboard_is() {
  last_clipboard=$(clipboard_text)
  [ "$last_clipboard" = "$1" ]
}
clipboard_has() { xclip -selection clipboard -o -t TARGETS 2>/dev/null | grep -qx "$1"; }

find_window() { xdotool search --name "^$1\$" 2>/dev/null | head -n 1; }
geometry() {  # sets X Y WIDTH HEIGHT of window $1
  eval "$(xdotool getwindowgeometry --shell "$1")"
}
shot() { import -window root "$shots/$1.png"; }
# count_color IMAGE X Y W H COLOUR: pixels of exactly that colour in the area.
count_color() {
  "$CONVERT" "$1" -crop "$4x$5+$2+$3" +repage -fill black +opaque "$6" -fill white \
    -opaque "$6" -format "%[fx:round(mean*w*h)]" info:
}
at_least() { [ "$1" -ge "$2" ]; }
# The hook reports the keys as they are when it handles an event, not as
# they were at the event: the key goes down only once Ctrl and Alt have been
# handled (else their events would report it too and step twice), and is
# held until its own event has been handled.
chord() {
  xdotool keydown ctrl alt
  sleep 0.3
  xdotool keydown "$1"
  sleep 0.3
  xdotool keyup "$1"
  sleep 0.2
  xdotool keyup alt ctrl
  sleep 0.1
}

# Texts unique to this run: what an earlier run left on the clipboard (Wine
# keeps it while its server runs) can never be taken for one of them.
run="$$-$RANDOM"
work=$(mktemp -d)
printf 'e2e first item %s' "$run" >"$work/first.txt"
printf 'e2e second item %s' "$run" >"$work/second.txt"
printf 'e2e third item %s' "$run" >"$work/third.txt"
printf '<b>e2e html %s</b>' "$run" >"$work/page.html"
"$CONVERT" -size 64x32 xc:"rgb(220,40,$((RANDOM % 200)))" -fill "rgb(40,40,220)" \
  -draw "rectangle 32,0 63,31" -type TrueColor BMP3:"$work/picture.bmp"
first="e2e first item $run" second="e2e second item $run" third="e2e third item $run"

panel_exists() { [ -n "$(find_window 'Enjoy your clipboard')" ]; }
window_visible() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -q .; }

# A copy still ending (from an earlier run) would answer the hotkeys too.
no_panel() { ! panel_exists; }
check "no other copy of the program runs" until_within 20 no_panel
(cd "$bin" && exec /usr/lib/wine/wine64 clipdock.exe) >"$work/program.log" 2>&1 &
program_pid=$!
check "the panel window exists" until_within 30 panel_exists
panel=$(find_window 'Enjoy your clipboard')
[ -n "$panel" ] || exit 1
# Joining the viewer chain captures whatever the clipboard holds now.
sleep 1
base=$(item_count)

# Five captures, oldest first; each waits for its item file. Slots then
# hold: 0 third (current), 1 second, 2 picture, 3 html, 4 first.
n=0
for entry in "text/plain first.txt" "text/html page.html" "image/bmp picture.bmp" \
             "text/plain second.txt" "text/plain third.txt"; do
  set -- $entry
  put_clipboard "$1" "$work/$2"
  n=$((n + 1))
  check "capture $n ($1)" until_within 15 items_are $((base + n))
done

# The tray icon: the newest, rightmost icon of Wine's own tray window at the
# top left (an icon of an ended earlier copy may linger left of it).
tray=$(find_window 'Wine System Tray')
check "the tray window exists" test -n "$tray"
geometry "$tray"
tx=$((X + WIDTH - 8)) ty=$((Y + 8))
bring_up() {
  xdotool mousemove $tx $ty click 1
  sleep 1  # the fade-in ends the click-through
}
xdotool mousemove $tx $ty click 1
check "a tray click shows the panel" until_within 10 window_visible 'Enjoy your clipboard'
sleep 1  # the fade-in: four 100 ms steps
geometry "$panel"
px=$X py=$Y pw=$WIDTH ph=$HEIGHT
shot panel
check "the panel's frame is drawn" at_least "$(count_color "$shots/panel.png" "$px" "$py" "$pw" 160 "$FRAME")" $((2 * 3 * (pw - 20)))
check "the header shows its images" at_least "$("$CONVERT" "$shots/panel.png" -crop "${pw}x80+$px+$py" +repage -format '%k' info:)" 20
check "the list shows occupied rows" at_least "$(count_color "$shots/panel.png" "$px" $((py + 146)) "$pw" 300 "$OCCUPIED_ROW")" 300

# A click on the list's first visible row restores slot 1. The checks above
# may have outlasted the panel's 8-second inactivity count, after which it
# lets the mouse through, so the tray brings it up again first.
bring_up
xdotool mousemove $((px + pw / 2)) $((py + 146 + 30)) click 1
check "a row click restores its item" until_within 5 clipboard_is "$second"
sleep 0.5
shot panel-after-click
check "the list marks the current row" at_least "$(count_color "$shots/panel-after-click.png" "$px" $((py + 146)) "$pw" 300 "$CURRENT_ROW")" 100

# Keys reach the hook only in a program with the keyboard focus: a click on
# the preview strip activates the panel (not on the header above it, which
# starts the platform's move loop: that loop takes the arrow keys and peeks
# at every message, so the hook would see each key more than once).
bring_up
xdotool mousemove $((px + pw / 2)) $((py + 120)) click 1
sleep 0.3
# Shift sends the panel away and shows the popup at the bottom right.
chord shift
popup=$(find_window 'Clipboard Viewer')
check "Ctrl+Alt+Shift shows the popup" until_within 5 window_visible 'Clipboard Viewer'
geometry "$popup"
shot popup
check "the popup shows the header" at_least "$("$CONVERT" "$shots/popup.png" -crop "${WIDTH}x60+$X+$Y" +repage -format '%k' info:)" 10

rm -rf "$work"
echo "$failures failed"
[ "$failures" -eq 0 ]
