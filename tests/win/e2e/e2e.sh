#!/usr/bin/env bash
# End-to-end run of clipdock.exe under Wine on the test display: captures of
# text, HTML and PNG set with xclip, duplicates, the 32-item limit, a
# restart that reloads the collection, a restart on an empty clipboard after
# a drawing was copied, the hotkey reaching a "Clipboard Viewer" window while
# the key is kept from the focused program, the tray click, changes and
# restores while another program reads the clipboard, the hotkeys in the
# prefix's notepads (of the program's bitness, and the 64-bit one for the
# i686 build), and "Exit" leaving the viewer chain with exit code 0.
#   e2e.sh SOURCE-DIR WINE-STATE BIN-DIR
set -u
src=$1
source "$src/tests/win/desktop.sh" "$2" "$3"

fresh_collection || { echo "cannot find the item folder"; exit 1; }

# A clipboard viewer that was there before clipdock: it must keep getting
# notifications through clipdock and after clipdock has left.
run_tool 10 joined "$work/chain" "$tool" chain 240 || fail "the test viewer did not join the chain"

# A known clipboard at start: the first capture, made while the panel joins
# the chain, is this one.
put_text "clipdock e2e start $$"
start_clipdock
until_ok 10 newest_holds "clipdock e2e start $$" || fail "the content at start was not captured"

text="clipdock e2e text $$"
put_text "$text"
if until_ok 10 newest_holds "$text"; then pass "text captured into $(basename "$(newest)")"
else fail "no item file with the text (state '$(state)')"; fi
text_file=$(newest)

put_text '<p>clipdock <b>e2e</b> html</p>' -t text/html
if until_ok 10 newest_holds '<b>e2e</b>' && newest_holds 'HTML Format'; then pass "HTML captured under its format name"
else fail "no item file with the HTML"; fi

python3 - "$work/dot.png" <<'EOF'
import struct, sys, zlib
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)
raw = b''.join(b'\0' + bytes([200, 30, 30]) * 4 for _ in range(4))
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 4, 4, 8, 2, 0, 0, 0)) + \
      chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b'')
open(sys.argv[1], 'wb').write(png)
EOF
put_clip "$work/dot.png" -t image/png
if until_ok 10 newest_holds $'\x89PNG' && newest_holds 'PNG'; then pass "PNG captured"
else fail "no item file with the PNG"; fi
[ "$(files)" -eq 4 ] && pass "four item files" || fail "$(files) item files after four captures"
grep -q draw "$work/chain" && pass "the next viewer was told" || fail "clipdock did not pass notifications on"

# The same text again: the stored item comes to the front, no new file.
put_text "$text"
if until_ok 10 newest_is "$text_file"; then pass "repeated text moved to the front"
else fail "repeated text: newest is $(newest), expected $text_file"; fi
sleep 0.5
[ "$(files)" -eq 4 ] && pass "no second file for the same text" || fail "$(files) files after a repeat"

# Restart: the saved collection is reloaded in its order. The clipboard
# still holds the newest item, so the capture at start finds it stored.
before=$(state)
exit_clipdock
[ "$exit_code" = 0 ] && pass "Exit ends clipdock with code 0" || fail "exit code $exit_code"
start_clipdock
sleep 0.5
until_ok 5 state_is "$before"
after=$(state)
[ "$after" = "$before" ] && pass "collection reloaded in order" || fail "state after restart: '$after', before: '$before'"
[ "$(files)" -eq 4 ] && pass "no file lost or added on restart" || fail "$(files) files after restart, 4 before"

for i in $(seq 1 40); do
  put_text "$(printf 'numbered text %03d' "$i")"
  until_ok 10 newest_holds "$(printf 'numbered text %03d' "$i")" || { fail "text $i not captured"; break; }
done
n=$(files)
[ "$n" -le 32 ] && [ "$n" -ge 20 ] && pass "$n item files after 44 different captures" || fail "$n item files after 44 different captures"
[ "$(state_count)" -eq "$n" ] && pass "state lists every file" || fail "state lists $(state_count) of $n files"

# A drawing copied as office programs copy it: Unicode text and an enhanced
# metafile, from which the clipboard also makes a metafile picture. A restart
# on an empty clipboard puts that newest item back and captures it again:
# the full history keeps every item, names and order.
drawing="clipdock e2e drawing $$"
"$wine" "$tool" drawing 5 "$drawing" >/dev/null 2>&1 &
pids+=("$!")
until_ok 10 newest_holds "$drawing" || fail "the text with a drawing was not captured"
full=$(state)
exit_clipdock
"$wine" "$tool" empty >/dev/null 2>&1 || fail "could not empty the clipboard"
start_clipdock
"$wine" "$tool" ping >/dev/null 2>&1 || fail "the panel does not answer"
restored=$("$wine" "$tool" text 2>/dev/null | tr -d '\r')
[ "$restored" = "row 0 $(printf '%s' "$drawing" | od -An -tx1 | tr -d ' \n')" ] ||
  fail "the newest item was not put back on the empty clipboard: $restored"
if [ "$(state)" = "$full" ] && [ "$(files)" -eq 32 ]; then pass "restart after a drawing keeps the 32 items in order"
else fail "restart after a drawing: $(files) files, state '$(state)', before '$full'"; fi

# The tray icon's left click shows the panel.
"$wine" "$tool" tray-click 3000 >/dev/null 2>&1 && pass "tray click shows the panel" || fail "tray click did not show the panel"

# Ctrl+Alt+Up in another program: the hook reports it to the "Clipboard
# Viewer" window and keeps it from the program; other keys pass.
run_tool 10 ready "$work/keys" "$tool" keys 60 || fail "the key window did not start"
win=""
until_ok 10 xdotool search --name '^e2e keys$' && win=$(xdotool search --name '^e2e keys$' | head -1)
if [ -n "$win" ]; then
  xdotool mousemove --window "$win" 50 30 >/dev/null 2>&1
  xdotool windowfocus --sync "$win" >/dev/null 2>&1
  xdotool key a
  until_ok 5 said 'key 65' || fail "the key window gets no keys"
  # The hook reads the keys as they are when it handles an event: each key
  # stays down until the focused program has had its event.
  xdotool keydown ctrl alt
  until_ok 5 said 'key 18'
  xdotool keydown Up
  if until_ok 5 said 'hotkey 1'; then pass "Ctrl+Alt+Up reported with mask 1"
  else fail "no HOTKEY_MESSAGE with mask 1: $(tr '\n' ' ' <"$work/keys")"; fi
  xdotool keyup Up
  xdotool keyup alt ctrl
  xdotool key b
  until_ok 5 said 'key 66' || fail "keys after the chord do not arrive"
  said 'key 38' && fail "Up reached the focused program" || pass "Up kept from the focused program"
else
  fail "no X window for the key program"
fi

# Another program that reads the clipboard as soon as a change is announced
# (a format listener, a second clipboard tool) holds it when the panel comes
# to capture: the capture waits for it, and nothing is lost.
nth_file() { local names; IFS=':' read -ra names <<<"$(state)"; [ -n "${names[$1]:-}" ] && echo "$folder/${names[$1]#\\}"; }
nth_holds() { local f; f=$(nth_file "$1") && [ -f "$f" ] && grep -aqF -- "$2" "$f"; }
read_text() { printf 'read at once %02d %s' "$1" $$; }
for i in $(seq 1 10); do
  "$wine" "$tool" set-hold 50 "$(read_text "$i")" >/dev/null 2>&1 || { fail "the reader $i did not run"; break; }
  until_ok 10 newest_holds "$(read_text "$i")" || { fail "text $i, read at once by another program, not captured"; break; }
done
in_order=0
for i in $(seq 1 10); do nth_holds $((10 - i)) "$(read_text "$i")" && in_order=$((in_order + 1)); done
[ "$in_order" -eq 10 ] && pass "10 texts each held 50 ms by a reader: all stored, newest first" ||
  fail "10 texts each held 50 ms by a reader: $in_order stored in their place"

# Restores while a reader holds the clipboard for 200 ms still put the item
# back: a row click, then Ctrl+Alt+Down. The clipboard is read back from the
# Windows side; the text must be the one in the restored item's file.
windows_clip_text() { "$wine" "$tool" text 2>/dev/null | tr -d '\r' | sed -n 's/^row 0 //p' | xxd -r -p; }
clipboard_from() { local t; t=$(windows_clip_text); [ -n "$t" ] && grep -aqF -- "$t" "$1"; }
clicked=$(nth_file 3) below=$(nth_file 4)
"$wine" "$tool" hold-click 200 3 >"$work/holdclick" 2>/dev/null || fail "the row click while held did not run"
if until_ok 10 clipboard_from "$clicked"; then pass "row click while a reader holds the clipboard 200 ms: item put back"
else fail "row click while held: the clipboard holds '$(windows_clip_text)', not the item of $(basename "$clicked")"; fi

held_said() { tr -d '\r' <"$work/holdkeys" | grep -qx "$1"; }
run_tool 10 held "$work/holdkeys" "$tool" hold-keys 60 200 ||
  fail "the reader with the focus window did not get the clipboard"
win=""
until_ok 10 xdotool search --name '^e2e hold keys$' && win=$(xdotool search --name '^e2e hold keys$' | head -1)
if [ -n "$win" ]; then
  xdotool mousemove --window "$win" 50 30 >/dev/null 2>&1
  xdotool windowfocus --sync "$win" >/dev/null 2>&1
  # As above, each key stays down until its event has been handled.
  xdotool keydown ctrl alt
  until_ok 5 held_said 'key 18' || fail "the focus window gets no keys"
  xdotool keydown Down
  until_ok 5 held_said 'hotkey 2' || fail "Ctrl+Alt+Down was not reported"
  xdotool keyup Down
  xdotool keyup alt ctrl
  until_ok 10 held_said released || fail "the reader did not let go"
  if until_ok 10 clipboard_from "$below"; then pass "Ctrl+Alt+Down while a reader holds the clipboard 200 ms: item put back"
  else fail "Ctrl+Alt+Down while held: the clipboard holds '$(windows_clip_text)', not the item of $(basename "$below")"; fi
else
  fail "no X window for the reader's focus window"
fi

# One program setting 20 texts 20 ms apart, into a history just cleared
# ("Clear all" keeps only the current item) with the panel hidden: every one
# is stored, in order. The setter counts the pace from the moment the panel
# has taken each change: a change replaced before the program's thread gets
# to run at all cannot be had, and under load that moment comes late.
"$wine" "$tool" command 1101 >/dev/null 2>&1 || fail "could not hide the panel"
at_most_one() { [ "$(state_count)" -le 1 ]; }
paced_text() { printf 'paced text %s %03d' $$ "$1"; }
paced_in_order() {
  local i
  for i in $(seq 1 20); do nth_holds $((20 - i)) "$(paced_text "$i")" || return 1; done
}
paced_stored() {
  local i n=0
  for i in $(seq 1 20); do grep -laqF "$(paced_text "$i")" "$folder"/*.crx && n=$((n + 1)); done
  echo "$n"
}
"$wine" "$tool" command 1103 >/dev/null 2>&1 || fail "could not send Clear all"
until_ok 10 at_most_one || fail "Clear all left '$(state)'"
"$wine" "$tool" set-texts 20 20 "paced text $$" >/dev/null 2>&1 || fail "the paced texts were not set"
step="20 texts, each set 20 ms after the panel took the one before"
if until_ok 10 paced_in_order; then pass "$step: all stored, newest first"
else fail "$step: $(paced_stored) stored, state '$(state)'"; fi

# The hotkeys in the prefix's own notepad. The hook DLL has the program's
# bitness: in a notepad of that bitness Ctrl+Alt+Down steps the clipboard.
# On a 64-bit desktop the i686 build also meets 64-bit programs; Windows
# would run the hook for them in the program's own thread, but this Wine
# tries to load the 32-bit DLL into the 64-bit notepad, fails and skips the
# hook, so there only the keys' safe passage is required and the step is
# reported as it is.
clip_text() { timeout 5 xclip -selection clipboard -o 2>/dev/null; }
clip_differs() { [ "$(clip_text)" != "$1" ]; }
notepad_holds() {  # what the focused notepad holds, copied out with Ctrl+A, Ctrl+C
  xdotool key ctrl+a ctrl+c End
  [ "$(clip_text | tr -d '\r')" = "$1" ]
}
# notepad_hotkey PATH: sets stepped (yes or no) and typed (ok or lost).
notepad_hotkey() {
  local np w="" before
  stepped=no typed=lost
  "$wine" "$1" >/dev/null 2>&1 &
  np=$!
  pids+=("$np")
  until_ok 20 xdotool search --onlyvisible --name 'Notepad$' &&
    w=$(xdotool search --onlyvisible --name 'Notepad$' | head -1)
  [ -n "$w" ] || { fail "$1 did not start"; return; }
  xdotool mousemove --window "$w" 100 100 >/dev/null 2>&1
  xdotool windowfocus --sync "$w" >/dev/null 2>&1
  xdotool type np1
  until_ok 5 notepad_holds np1 || { fail "$1 gets no keys"; kill "$np"; return; }
  before=$(clip_text)
  # The hook reads the keys as they are when it runs: the chord is held
  # until the step shows.
  xdotool keydown ctrl alt Down
  until_ok 5 clip_differs "$before" && stepped=yes
  xdotool keyup Down alt ctrl
  xdotool type np2
  until_ok 5 notepad_holds np1np2 && typed=ok
  kill "$np"
  wait "$np" 2>/dev/null
}
if [ "$CLIPDOCK_WINE_ARCH" = i686 ]; then
  own='C:\windows\syswow64\notepad.exe'
else
  own='C:\windows\system32\notepad.exe'
fi
notepad_hotkey "$own"
[ "$stepped" = yes ] && pass "Ctrl+Alt+Down in $own steps the clipboard" ||
  fail "Ctrl+Alt+Down in $own did not step the clipboard"
[ "$typed" = ok ] && pass "other keys reach $own" || fail "keys typed into $own were lost"
if [ "$CLIPDOCK_WINE_ARCH" = i686 ]; then
  other='C:\windows\system32\notepad.exe'
  notepad_hotkey "$other"
  [ "$typed" = ok ] && pass "keys reach the 64-bit $other" || fail "keys typed into the 64-bit $other were lost"
  echo "note: Ctrl+Alt+Down in the 64-bit $other stepped the clipboard: $stepped"
fi

# "Exit" ends the program with code 0, and the viewer after it in the chain
# goes on getting notifications.
exit_clipdock
[ "$exit_code" = 0 ] && pass "Exit with code 0 after the restart" || fail "exit code $exit_code"
seen=$(draws)
put_text 'after clipdock left'
if until_ok 10 more_draws "$seen"; then pass "the viewer chain works after Exit"
else fail "the viewer after clipdock gets no notifications once it left"; fi

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
