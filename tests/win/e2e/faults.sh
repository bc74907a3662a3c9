#!/usr/bin/env bash
# Faults met by the running clipdock.exe under Wine on the test display: the
# item folder on a file system that fills up during a capture, the folder
# made read-only, item files deleted, cut short or overwritten behind the
# program's back, halcyon.ini deleted, read-only or full of garbage, the
# clipboard held open by another program, and viewers destroyed without
# leaving the chain. After each case the program must still run and every
# item stored before must come back byte for byte when its row is clicked.
# One line per case, with its figures.
#   faults.sh SOURCE-DIR WINE-STATE BIN-DIR
set -u
src=$1
source "$src/tests/win/desktop.sh" "$2" "$3"
mounts=()
immutable=()
started=$SECONDS

before_cleanup() {
  local f i
  for f in "${immutable[@]}"; do chattr -i "$f" 2>/dev/null; done
  [ -n "${folder:-}" ] && chmod u+w "$folder" "${ini:-/nonexistent}" 2>/dev/null
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" 2>/dev/null
  done
}

fresh_collection || { echo "cannot find the item folder"; exit 1; }
mkdir -p "$folder"

alive() { kill -0 "$clipdock" 2>/dev/null; }
hex() { od -An -v -tx1 "$1" | tr -d ' \n'; }
x_clipboard_is() { timeout 5 xclip -o -selection clipboard >"$work/xout" 2>/dev/null && cmp -s "$1" "$work/xout"; }

# What each stored item must restore to (its text file) and its file's sum.
declare -A expect sums

# capture TEXT [MARK [SECONDS]]: puts TEXT on the clipboard and waits (15 s,
# or SECONDS) until it is the newest item (found by MARK, an ASCII part of
# it, or the whole TEXT when MARK is empty); records what that item must
# give back.
capture() {
  put_text "$1"
  if until_ok "${3:-15}" newest_holds "${2:-$1}"; then
    local name=$held
    expect[$name]=$clip
    sums[$name]=$(md5sum <"$folder/$name")
    return 0
  fi
  return 1
}

# A viewer after clipdock in the chain: one "draw" per change clipdock has
# dealt with (clipdock passes a change on once its capture is over).
run_tool 15 joined "$work/chain" "$tool" chain 900 ||
  fail "the counting viewer did not join the chain"

# verify: clicks every row of the saved list and compares each restored text
# with what was stored; checks every stored file against its sum. Sets
# $verified to "K of N" and returns false unless all N came back.
verify() {
  local s names n out i name row want good=0 total=0 bad=""
  s=$(state)
  IFS=':' read -ra names <<<"$s"
  n=${#names[@]}
  out=$(timeout 60 "$wine" "$tool" restore-rows "$n" 2>/dev/null | tr -d '\r')
  for ((i = 1; i <= n; i++)); do
    name=${names[i - 1]#\\}
    want=${expect[$name]:-}
    [ -n "$want" ] || continue
    total=$((total + 1))
    row=$(sed -n "s/^row $i //p" <<<"$out")
    if [ "$row" = "$(hex "$want")" ] && [ "$(md5sum <"$folder/$name")" = "${sums[$name]}" ]; then
      good=$((good + 1))
    else
      bad="$bad $name"
    fi
  done
  # The last row's item is now on the clipboard: X programs read it too.
  if [ -n "$want" ] && [ "$good" -eq "$total" ]; then
    until_ok 10 x_clipboard_is "$want" ||
      bad="$bad (xclip -o differs for $name)"
  fi
  verified="$good of $total"
  [ -n "$bad" ] && echo "  not restored whole:$bad"
  [ "$total" -gt 0 ] && [ "$good" -eq "$total" ] && [ -z "$bad" ] && alive
}

# --- a collection to work on -------------------------------------------------
put_text "clipdock faults start $$"
start_clipdock
until_ok 15 newest_holds "clipdock faults start $$" || fail "the content at start was not captured"
expect[$held]=$clip
sums[$held]=$(md5sum <"$folder/$held")
for i in 1 2 3 4 5; do
  capture "stored item $i of clipdock faults $$ $(head -c $((i * 700)) /dev/zero | tr '\0' "$i")" ||
    fail "item $i not captured"
done
capture "stored item with accents: café, naïve, Zürich $$" "stored item with accents: caf" || fail "item with accents not captured"
if verify; then pass "set-up: $(files) items stored, $verified restored byte for byte"
else fail "set-up: only $verified restored byte for byte"; fi

# --- the item folder on a small file system that fills up mid-capture -----
if [ "$(id -u)" != 0 ]; then
  skip "full file system: mounting a small tmpfs over the item folder needs root"
elif ! cp -a "$folder" "$work/before-tmpfs" || ! mount -t tmpfs -o size=4m clipdock-faults "$folder"; then
  skip "full file system: tmpfs cannot be mounted here"
else
  mounts+=("$folder")
  cp -a "$work/before-tmpfs/." "$folder/"
  before_files=$(files) before_state=$(state)
  room=$(( $(df -B1 --output=avail "$folder" | tail -1) - 256 * 1024 ))
  head -c "$room" /dev/zero >"$folder/filler" 2>/dev/null
  free=$(df -B1 --output=avail "$folder" | tail -1)
  big="$work/big.txt"
  { printf 'big capture of clipdock faults %s ' "$$"; head -c $((1024 * 1024)) /dev/zero | tr '\0' 'B'; } >"$big"
  seen=$(draws)
  put_clip "$big"
  until_ok 30 more_draws "$seen" || fail "full file system: the big capture never ended"
  leftovers=$(find "$folder" -maxdepth 1 -name '*.crx' -newer "$big" | wc -l)
  if alive && [ "$(files)" -eq "$before_files" ] && [ "$(state)" = "$before_state" ] && [ "$leftovers" -eq 0 ] && verify; then
    pass "full file system: $(stat -c %s "$big")-byte text (about $((4 * $(stat -c %s "$big") / 1048576)) MB of formats) with $free bytes free: not kept, no partial file, $before_files items, $verified restored byte for byte"
  else
    fail "full file system: $(files) files (before $before_files), $leftovers partial, state '$(state)', $verified restored"
  fi
  rm -f "$folder/filler"
  capture "after the disk had room again $$" && pass "full file system: the next capture is stored once there is room" ||
    fail "full file system: no capture once there was room"
  mkdir -p "$work/after-tmpfs"
  cp -a "$folder/." "$work/after-tmpfs/"
  umount "$folder" || umount -l "$folder"
  mounts=("${mounts[@]:0:${#mounts[@]}-1}")
  rm -f "$folder"/*.crx
  cp -a "$work/after-tmpfs/." "$folder/"
fi

# --- the item folder made read-only ----------------------------------------
readonly_how=""
if [ "$(id -u)" = 0 ]; then
  if mount --bind "$folder" "$folder" 2>/dev/null; then
    mounts+=("$folder")
    mount -o remount,bind,ro "$folder" 2>/dev/null && readonly_how="read-only bind mount"
  fi
  if [ -z "$readonly_how" ] && chattr +i "$folder" 2>/dev/null; then
    immutable+=("$folder"); readonly_how="chattr +i"
  fi
elif chmod a-w "$folder"; then
  readonly_how="chmod a-w"
fi
if [ -z "$readonly_how" ]; then
  skip "read-only folder: neither a read-only bind mount nor chattr +i is possible here"
elif touch "$folder/probe.crx" 2>/dev/null; then
  rm -f "$folder/probe.crx"
  skip "read-only folder: $readonly_how does not stop writes here"
else
  before_files=$(files) before_state=$(state)
  seen=$(draws)
  put_text "cannot be stored in a read-only folder $$"
  until_ok 15 more_draws "$seen" || fail "read-only folder: the capture never ended"
  if alive && [ "$(files)" -eq "$before_files" ] && [ "$(state)" = "$before_state" ] && verify; then
    pass "read-only folder ($readonly_how): capture not stored, $before_files items, $verified restored byte for byte"
  else
    fail "read-only folder: $(files) files (before $before_files), $verified restored"
  fi
  case $readonly_how in
    chattr*) chattr -i "$folder"; immutable=() ;;
    chmod*) chmod u+w "$folder" ;;
    *) umount "$folder" || umount -l "$folder"; mounts=("${mounts[@]:0:${#mounts[@]}-1}") ;;
  esac
  capture "writable again $$" && pass "read-only folder: the next capture is stored once it is writable" ||
    fail "read-only folder: no capture once the folder was writable"
fi

# --- item files deleted, cut short and overwritten behind its back ---------
IFS=':' read -ra names <<<"$(state)"
gone=${names[1]#\\} cut=${names[2]#\\} noise=${names[3]#\\} repeat=${names[4]#\\}
rm -f "$folder/$gone"
head -c $(($(stat -c %s "$folder/$cut") / 2)) "$folder/$cut" >"$work/cut" && cat "$work/cut" >"$folder/$cut"
head -c "$(stat -c %s "$folder/$noise")" /dev/urandom >"$work/noise" && cat "$work/noise" >"$folder/$noise"
unset "expect[$gone]" "expect[$cut]" "expect[$noise]"
repeat_text=${expect[$repeat]}
capture "new after damage $$" || fail "damaged files: a new capture was not stored"
put_clip "$repeat_text"
until_ok 15 newest_is "$repeat" || fail "damaged files: a repeat of an intact item did not move it to the front"
# Rows of the damaged items are clicked too; the program must survive them.
if verify && [ ! -e "$folder/$gone" ] && [ "$(md5sum <"$folder/$noise")" = "$(md5sum <"$work/noise")" ]; then
  pass "damaged files (1 deleted, 1 cut to $(stat -c %s "$folder/$cut") bytes, 1 of random bytes): all rows clicked, repeat found, $verified intact items restored byte for byte"
else
  fail "damaged files: $verified intact items restored"
fi

# --- halcyon.ini deleted, read-only, full of garbage -----------------------
rm -f "$ini"
count=${#expect[@]}
if capture "after the settings file was deleted $$" && [ "$(state_count)" -eq $((count + 3 + 1)) ] && verify; then
  pass "settings deleted: recreated with all $(state_count) items listed, $verified restored byte for byte"
else
  fail "settings deleted: state lists $(state_count) items, $verified restored"
fi

ini_readonly=""
if [ "$(id -u)" = 0 ]; then
  if chattr +i "$ini" 2>/dev/null; then
    immutable+=("$ini"); ini_readonly="chattr +i"
  elif mount --bind "$ini" "$ini" 2>/dev/null; then
    mounts+=("$ini")
    mount -o remount,bind,ro "$ini" 2>/dev/null && ini_readonly="read-only bind mount"
  fi
else
  chmod a-w "$ini" && ini_readonly="chmod a-w"
fi
if [ -z "$ini_readonly" ]; then
  skip "read-only settings: neither chattr +i nor a read-only bind mount is possible here"
else
  before_state=$(state)
  seen=$(draws)
  put_text "captured while the settings are read-only $$"
  until_ok 15 more_draws "$seen" || fail "read-only settings: the capture never ended"
  sleep 0.2
  kept=$(grep -laF "captured while the settings are read-only $$" "$folder"/*.crx 2>/dev/null | head -1)
  case $ini_readonly in
    chattr*) chattr -i "$ini"; immutable=() ;;
    chmod*) chmod u+w "$ini" ;;
    *) umount "$ini" || umount -l "$ini"; mounts=("${mounts[@]:0:${#mounts[@]}-1}") ;;
  esac
  if alive && [ -n "$kept" ] && [ "$(state)" = "$before_state" ]; then
    expect[$(basename "$kept")]=$clip
    sums[$(basename "$kept")]=$(md5sum <"$kept")
    if capture "settings writable again $$" && verify; then
      pass "read-only settings ($ini_readonly): capture stored, list left as it was; once writable $(state_count) items listed, $verified restored byte for byte"
    else
      fail "read-only settings: $verified restored once writable"
    fi
  else
    fail "read-only settings: stored file '${kept}', state changed: $([ "$(state)" = "$before_state" ] && echo no || echo yes)"
  fi
fi

# Garbage: lines of many KB, binary bytes, hostile names after the real ones
# in the collection list, over-long and out-of-range values.
victim="$folder/../victim.crx"
echo "not an item" >"$victim"
user_section=$(grep -a -B1000 '^CLIPBOOK_STATE=' "$ini" | grep -a '^\[' | tail -1 | tr -d '\r')
real_state=$(state)
write_garbage() {
  {
    printf '%s\r\n' "$(head -c 70000 /dev/zero | tr '\0' 'G')"
    head -c 3000 /dev/urandom | tr -d '\0\n\r['
    printf '\r\n[HALCYON]\r\ntransparency_min=99999999999999999999999\r\ntransparency_max=4294967295\r\n'
    printf 'ENVIRONMENT=%s\r\n' "$(head -c 5000 /dev/zero | tr '\0' 'E')"
    printf '[CLIPBOOK_STATE]\r\n%s=1\r\nPNG=%s\r\n' "$(head -c 8000 /dev/zero | tr '\0' 'K')" "$(head -c 9000 /dev/zero | tr '\0' '7')"
    printf '%s\r\n' "$user_section"
    printf 'CLIPBOOK_STATE=%s' "$real_state"
    printf '%s' '\..\victim.crx:..\victim.crx:C:\windows\win.ini:\CON:\nul.crx:\a\b.crx:\lpt1.txt:'
    printf '\\%s.crx:' "$(head -c 400 /dev/zero | tr '\0' 'L')"
    printf '%s:' "$(tr 'a-z' 'A-Z' <<<"${real_state%%:*}")"
    for i in $(seq 1 200); do printf '\\x%d\\..\\y.crx:' "$i"; done
    printf '\r\n%s\r\n' "$(head -c 20000 /dev/zero | tr '\0' '=')"
  } >"$ini"
}
write_garbage
if capture "after garbage in the settings $$" && [ "$(state_count)" -eq $((${#expect[@]} + 3)) ] && verify; then
  pass "settings garbage while running ($(stat -c %s "$ini") bytes): list rewritten with $(state_count) items, $verified restored byte for byte"
else
  fail "settings garbage while running: state lists $(state_count), $verified restored"
fi

# The same garbage read at start-up. A viewer joins before the program, so
# that after the restart it is the program's next viewer (used below).
real_state=$(state)
exit_clipdock
run_tool 15 joined "$work/behind" "$tool" chain 900 || fail "the viewer behind did not join"
behind=$tool_pid
write_garbage
t0=$SECONDS
start_clipdock
# The first capture finds the clipboard's item stored, which moves it to the
# front: the same names, not necessarily in the same order.
sorted_names() { tr ':' '\n' <<<"$1" | sort | tr '\n' ':'; }
same_names() { [ "$(sorted_names "$(state)")" = "$(sorted_names "$real_state")" ]; }
until_ok 10 same_names
if alive && same_names && [ "$(cat "$victim")" = "not an item" ] && verify; then
  pass "settings garbage at start-up: started in $((SECONDS - t0)) s, none of 209 hostile names taken, the $(state_count) stored items kept, victim untouched, $verified restored byte for byte"
else
  fail "settings garbage at start-up: state '$(state | head -c 200)', $verified restored"
fi
rm -f "$victim"

# --- the clipboard held open by another program ----------------------------
# The holder changes the clipboard and keeps it open for 5 s, passing the
# change on to the panel meanwhile, as a viewer ahead of it would. (An X
# change made during the hold is not used: Wine's bridge then stopped
# importing X changes for a long while.)
before_files=$(files) before_state=$(state)
held_text="set while the clipboard is held $$"
printf '%s' "$held_text" >"$work/held"
"$wine" "$tool" hold 5000 "$held_text" >"$work/hold" 2>/dev/null &
holder=$!
pids+=("$holder")
until_ok 15 grep -q held "$work/hold" || fail "held clipboard: the holder did not get the clipboard"
until_ok 25 grep -q told "$work/hold" || fail "held clipboard: the program did not answer the notification"
told=$(sed -n 's/^told \([0-9]*\) ms.*/\1/p' "$work/hold" | tr -d '\r')
files_held=$(files) state_held=$(state)
until_ok 20 grep -q released "$work/hold" || fail "held clipboard: the holder never let go"
t0=$SECONDS
if until_ok 15 newest_holds "$held_text"; then
  expect[$held]=$work/held; sums[$held]=$(md5sum <"$folder/$held")
  held_after="stored $((SECONDS - t0)) s after the hold"
else
  held_after="not stored"
fi
if alive && [ -n "$told" ] && [ "$told" -lt 5000 ] && [ "$files_held" -eq "$before_files" ] &&
   [ "$state_held" = "$before_state" ] && [ "$held_after" != "not stored" ] &&
   capture "after the clipboard was let go $$" && verify; then
  pass "held clipboard (5 s): the notification answered in $told ms without a capture, nothing changed meanwhile; the content $held_after; the next change stored; $verified restored byte for byte"
else
  fail "held clipboard: answered in '${told}' ms, files $files_held (before $before_files), content $held_after, $verified restored"
fi

# --- viewers destroyed without leaving the chain ---------------------------
# Ahead of the program: the chain loses its head.
run_tool 15 joined "$work/ahead" "$tool" chain 900 || fail "the viewer ahead did not join"
ahead=$tool_pid
kill -9 "$ahead"
t0=$SECONDS
if capture "after the viewer ahead was killed $$" && verify; then
  pass "viewer ahead killed: the next change stored within $((SECONDS - t0)) s, $verified restored byte for byte"
else
  fail "viewer ahead killed: no capture afterwards ($verified restored)"
fi
# Right after the program: it passes changes on to a window that is gone.
kill -9 "$behind"
if capture "after the viewer behind was killed $$" && capture "and once more $$" && verify; then
  pass "viewer behind killed: two more changes stored, $verified restored byte for byte"
else
  fail "viewer behind killed: captures stopped ($verified restored)"
fi

# --- item files that count tens of thousands of rooms ------------------------
# One holds 65,536 rooms of a format nothing previews or restores (2 MB), one
# counts 65,536 rooms and holds none; both lead the history. Paints of the
# list, every capture (comparing the new item with them) and clicks on their
# rows read them: the program must still start, capture and paint at once.
exit_clipdock
# The newest item is a text item: its header area of 256 bytes, kept with
# its name list and the count changed, heads both crafted files.
head -c 256 "$folder/$held" >"$work/area"
python3 - "$work/area" "$folder/rooms65536.crx" "$folder/count65536.crx" <<'PY' ||
import struct, sys
area = bytearray(open(sys.argv[1], 'rb').read())
if len(area) != 256 or struct.unpack_from('<I', area, 12)[0] != 256:
    sys.exit(1)
struct.pack_into('<I', area, 8, 65536)
room = lambda k: b'ROOM' + struct.pack('<HHII', 0x300, k, 32, 1) + b'\x01' + bytes(15)
open(sys.argv[2], 'wb').write(area + b''.join(room(k) for k in range(65536)))
open(sys.argv[3], 'wb').write(area)
PY
  fail "huge room counts: the newest item's header area is not 256 bytes; nothing crafted"
sed -i "s/^CLIPBOOK_STATE=/CLIPBOOK_STATE=\\\\rooms65536.crx:\\\\count65536.crx:/" "$ini"
# Each step within a few seconds, polled with generous deadlines: the panel
# appears within 10 s of the start (a Wine process's own start included), a
# copy is stored, and the panel is shown and answers, within 5 s each.
t0=$SECONDS
start_clipdock 10
started_in=$((SECONDS - t0))
t0=$SECONDS
if capture "captured beside huge room counts $$" "" 5; then
  captured_in="stored in $((SECONDS - t0)) s"
else
  captured_in="not stored within 5 s"
fi
t0=$SECONDS
if [ "$captured_in" != "not stored within 5 s" ] && "$wine" "$tool" tray-click 5000 >/dev/null 2>&1 &&
   "$wine" "$tool" ping 5000 >/dev/null 2>&1 && painted_in=$((SECONDS - t0)) &&
   grep -qF 'rooms65536.crx:' <<<"$(state)" && verify; then
  pass "huge room counts ($(stat -c %s "$folder/rooms65536.crx")-byte file, and a count without rooms): started in $started_in s, a copy $captured_in, the panel shown and answering in $painted_in s, $verified restored byte for byte"
else
  fail "huge room counts: started in $started_in s, a copy $captured_in, the panel shown and answering within 5 s each: ${painted_in:-no}, state '$(state | head -c 120)', $verified restored"
fi

exit_clipdock && pass "Exit ends clipdock after all faults"
echo "$failures failure(s) in $((SECONDS - started)) s"
[ "$failures" -eq 0 ]
