#!/usr/bin/env bash
# The keyboard hook under load, in a program that is not clipdock: with the
# real clipdock.exe running, tens of thousands of keys from xdotool reach a
# hooktool window, with and without Ctrl+Alt held, and every key that is not
# a hotkey must arrive exactly once. Ctrl+Alt+Down and Ctrl+Alt+Up pressed N
# times reach a stand-in "Clipboard Viewer" N times and step clipdock's
# clipboard N times; a hung "Clipboard Viewer" does not stop the keys; and
# once clipdock is killed the program goes on taking its keys.
#   hookstress.sh SOURCE-DIR WINE-STATE BIN-DIR
#
# The hook reads the key state when it handles an event, not as it was when
# the event was made, so every chord is built one key at a time, each waited
# for (through the counts the windows report) before the next is sent.
set -u
src=$1
source "$src/tests/win/desktop.sh" "$2" "$3"
# The run has a Wine prefix and server of its own on the shared display:
# Wine keeps calling the hook of a killed program in every program of that
# server (seen for minutes), and the tests after this one must not meet it.
# Ending this server at the end ends the hook.
own="$state/hookstress"
"$src/scripts/wine-env.sh" prefix "$own" >/dev/null || { echo "cannot make the run's own prefix"; exit 1; }
display=$DISPLAY
source "$src/scripts/wine-env.sh" vars "$own"
export DISPLAY=$display
wine=$CLIPDOCK_WINE
hooktool="$bin/hooktool.exe"
started=$SECONDS
BATCH=1000          # key presses per xdotool call
PLAIN=10000         # presses without modifiers while clipdock runs
CHORDED=5000        # presses with Ctrl+Alt held while clipdock runs
ITEMS=13            # texts captured before the hotkeys step through them
DOWNS=10
UPS=4
AFTER=1000          # presses of each kind after clipdock was killed

# X repeats a held key after 660 ms; a key held while a step is waited for
# must stay one press. The server forgets the setting when its last client
# goes, so it is made while the Wine programs are connected.
autorepeat() {
  python3 - "$1" <<'EOF'
import ctypes, sys
x = ctypes.CDLL('libX11.so.6')
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
for f in (x.XAutoRepeatOn, x.XAutoRepeatOff, x.XCloseDisplay):
    f.argtypes = [ctypes.c_void_p]
class State(ctypes.Structure):
    _fields_ = [('key_click_percent', ctypes.c_int), ('bell_percent', ctypes.c_int),
                ('bell_pitch', ctypes.c_uint), ('bell_duration', ctypes.c_uint),
                ('led_mask', ctypes.c_ulong), ('global_auto_repeat', ctypes.c_int),
                ('auto_repeats', ctypes.c_char * 32)]
x.XGetKeyboardControl.argtypes = [ctypes.c_void_p, ctypes.POINTER(State)]
d = x.XOpenDisplay(None)
if not d:
    sys.exit(1)
on = sys.argv[1] == 'on'
(x.XAutoRepeatOn if on else x.XAutoRepeatOff)(d)
s = State()
x.XGetKeyboardControl(d, ctypes.byref(s))
x.XCloseDisplay(d)
sys.exit(0 if bool(s.global_auto_repeat) == on else 1)
EOF
}

before_cleanup() { autorepeat on; }
# Every program of the run's own server, and the hooks they left.
after_cleanup() {
  "$CLIPDOCK_WINESERVER" -k >/dev/null 2>&1
  timeout 60 "$CLIPDOCK_WINESERVER" -w >/dev/null 2>&1
}

# field FILE NAME: NAME's value in the last whole line of totals in FILE (a
# line may be read while it is being written).
field() {
  local data
  data=$(tail -c 4000 "$1" 2>/dev/null; printf x)
  data=${data%x}
  case $data in *$'\n') ;; *) data=${data%$'\n'*}$'\n' ;; esac
  data=${data%$'\n'}
  data=${data##*$'\n'}
  data=" ${data%$'\r'} "
  case $data in *" $2="*) ;; *) return 0 ;; esac
  data=${data#* $2=}
  printf '%s\n' "${data%% *}"
}
at_least() { local v; v=$(field "$1" "$2"); [ -n "$v" ] && [ "$v" -ge "$3" ]; }
# reach SECONDS FILE NAME VALUE: waits until NAME reaches VALUE, then tells
# whether it is exactly VALUE (more would be a doubled key or report).
reach() {
  until_ok "$1" at_least "$2" "$3" "$4" || return 1
  [ "$(field "$2" "$3")" -eq "$4" ]
}
keys() { field "$work/keys" "$1"; }
reports() { field "$work/viewer" "$1"; }
# wait_keys NAME VALUE WHAT / wait_reports NAME VALUE WHAT: fail unless the
# count gets to exactly VALUE within a minute.
wait_keys() {
  reach 60 "$work/keys" "$1" "$2" || fail "$3: $1 is $(keys "$1"), expected $2"
}
wait_reports() {
  reach 60 "$work/viewer" "$1" "$2" || fail "$3: $1 reports are $(reports "$1"), expected $2"
}

# The letters and digits: none of them is one of the hook's eight keys.
random_keys() {
  python3 -c "import random, sys
random.seed(int(sys.argv[2]))
print(' '.join(random.choice('abcdefghijklmnopqrstuvwxyz0123456789') for _ in range(int(sys.argv[1]))))" "$1" "$2"
}
# type_keys COUNT SEED WHAT: COUNT presses in batches, each batch waited for.
sent=0
type_keys() {
  local left=$1 seed=$2 n
  while [ "$left" -gt 0 ]; do
    n=$((left < BATCH ? left : BATCH))
    xdotool key --delay 0 $(random_keys "$n" "$seed")
    sent=$((sent + n)); left=$((left - n)); seed=$((seed + 1))
    until_ok 60 at_least "$work/keys" letters "$sent" || { fail "$3: $(keys letters) of $sent presses arrived"; return 1; }
  done
  wait_keys letters "$sent" "$3"
  wait_keys lettersup "$sent" "$3 (releases)"
}

focus() { xdotool windowfocus --sync "$win" >/dev/null 2>&1; }
mods=0 modsup=0
# press_mod KEY / release_mod KEY: one modifier, waited for at the program.
press_mod() {
  xdotool keydown "$1"; mods=$((mods + 1))
  reach 30 "$work/keys" mods "$mods" || give_up "$1 pressed: the program got $(keys mods) modifier presses, expected $mods"
}
release_mod() {
  xdotool keyup "$1"; modsup=$((modsup + 1))
  reach 30 "$work/keys" modsup "$modsup" || give_up "$1 released: the program got $(keys modsup) modifier releases, expected $modsup"
}
# Ctrl, then Alt: the event of Alt is the chord's first report.
hold_ctrl_alt() {
  press_mod ctrl
  press_mod alt
}
release_ctrl_alt() {
  release_mod alt
  release_mod ctrl
}

# --- clipdock with a known collection --------------------------------------
fresh_collection || give_up "cannot find the item folder"
item() { printf 'hookstress item %02d %s' "$1" "$$"; }
clipboard_is() { [ "$(xclip -o -selection clipboard 2>/dev/null)" = "$1" ]; }

run_tool 20 ready "$work/viewer" "$hooktool" viewer 300 || give_up "the stand-in viewer did not start"

start_clipdock 20

for i in $(seq 1 "$ITEMS"); do
  put_text "$(item "$i")"
  until_ok 20 newest_holds "$(item "$i")" || give_up "item $i was not captured"
done
pass "$ITEMS items captured"

# --- the program that takes the keys ----------------------------------------
run_tool 20 ready "$work/keys" "$hooktool" keys 300 || give_up "the key program did not start"
keyprog=$tool_pid
win=""
until_ok 20 xdotool search --name '^hookstress keys$' && win=$(xdotool search --name '^hookstress keys$' | head -1)
[ -n "$win" ] || give_up "no X window for the key program"
autorepeat off || give_up "could not turn the X key repeat off"
xdotool mousemove --window "$win" 50 30 >/dev/null 2>&1
# Without a window manager a new window has been seen to miss its first
# focus; the count starts from what arrived.
for attempt in 1 2 3; do
  focus
  xdotool key a
  until_ok 10 at_least "$work/keys" letters 1 && break
done
at_least "$work/keys" letters 1 || give_up "the key program gets no keys"
sent=$(keys letters)
[ "$(keys tarn)" = 1 ] && pass "the hook's library is loaded in the key program" || fail "libtarn.dll is not loaded in the key program"
base=$(reports total)

# --- without modifiers: nothing reported, everything passes ------------------
t0=$SECONDS
type_keys "$PLAIN" 1 "plain keys"
wait_keys chars "$sent" "characters of the plain keys"
[ "$(reports total)" = "$base" ] && pass "$PLAIN plain presses arrived, none reported" || fail "plain keys were reported: $(reports total) reports, $base before"
echo "plain: $PLAIN presses in $((SECONDS - t0)) s"

# --- Ctrl+Alt held: every event reported with mask 0, every key passes ------
t0=$SECONDS
chars_before=$(keys chars)
focus
hold_ctrl_alt
wait_reports m0 $((base + 1)) "Alt under Ctrl"
type_keys "$CHORDED" 100 "keys under Ctrl+Alt"
# Two events a press (down and up), each reported once with nothing held.
wait_reports m0 $((base + 1 + 2 * CHORDED)) "keys under Ctrl+Alt"
release_ctrl_alt
[ "$(reports total)" = $((base + 1 + 2 * CHORDED)) ] && pass "$CHORDED presses under Ctrl+Alt arrived, each event reported once" \
  || fail "reports under Ctrl+Alt: $(reports total), expected $((base + 1 + 2 * CHORDED))"
echo "Ctrl+Alt: $CHORDED presses in $((SECONDS - t0)) s; characters made: $(( $(keys chars) - chars_before ))"
[ "$(keys hot)" = 0 ] || fail "hotkey keys reached the program: $(keys hot)"

# --- the hotkeys step the clipboard once a press ------------------------------
# step KEY MASKFIELD N: KEY pressed under Ctrl+Alt, held until the stand-in
# has its report, released; the release passes.
steps_down=0 steps_up=0 hotup=0
step() {
  local key=$1 mask=$2 want=$3
  xdotool keydown "$key"
  reach 30 "$work/viewer" "$mask" "$want" || give_up "$key: $(reports "$mask") reports, expected $want"
  xdotool keyup "$key"; hotup=$((hotup + 1))
  reach 30 "$work/keys" hotup "$hotup" || give_up "$key released: the program got $(keys hotup) releases, expected $hotup"
}
t0=$SECONDS
focus
m0=$(reports m0)
hold_ctrl_alt
for i in $(seq 1 "$DOWNS"); do step Down m2 "$i"; done
if until_ok 10 clipboard_is "$(item $((ITEMS - DOWNS)))"; then pass "$DOWNS x Ctrl+Alt+Down stepped to item $((ITEMS - DOWNS))"
else fail "after $DOWNS x Ctrl+Alt+Down the clipboard holds '$(xclip -o -selection clipboard 2>/dev/null)', expected '$(item $((ITEMS - DOWNS)))'"; fi
for i in $(seq 1 "$UPS"); do step Up m1 "$i"; done
if until_ok 10 clipboard_is "$(item $((ITEMS - DOWNS + UPS)))"; then pass "$UPS x Ctrl+Alt+Up stepped back to item $((ITEMS - DOWNS + UPS))"
else fail "after $UPS x Ctrl+Alt+Up the clipboard holds '$(xclip -o -selection clipboard 2>/dev/null)', expected '$(item $((ITEMS - DOWNS + UPS)))'"; fi
release_ctrl_alt
[ "$(reports m2)" = "$DOWNS" ] && [ "$(reports m1)" = "$UPS" ] && [ "$(reports other)" = 0 ] \
  && pass "the stand-in got $DOWNS Down and $UPS Up reports" \
  || fail "reports: Down $(reports m2), Up $(reports m1), other $(reports other)"
# Alt's event, and each release with nothing held.
[ "$(reports m0)" = $((m0 + 1 + DOWNS + UPS)) ] || fail "mask-0 reports while stepping: $(( $(reports m0) - m0 )), expected $((1 + DOWNS + UPS))"
[ "$(keys hot)" = 0 ] && pass "no hotkey press reached the program" || fail "$(keys hot) hotkey presses reached the program"
echo "hotkeys: $((DOWNS + UPS)) steps in $((SECONDS - t0)) s"

# --- a "Clipboard Viewer" that never answers ------------------------------
run_tool 20 hung "$work/hung" "$hooktool" hung 200 || give_up "the hung stand-in did not start"
hung=$tool_pid
t0=$SECONDS
focus
total=$(reports total)
hold_ctrl_alt
type_keys 3 200 "keys under Ctrl+Alt with a hung viewer"
release_ctrl_alt
echo "hung viewer, before the system calls it hung: 3 presses in $((SECONDS - t0)) s"
"$wine" "$hooktool" wait-hung 30000 >/dev/null 2>&1 || fail "the system never took the stand-in for hung"
t0=$SECONDS
hold_ctrl_alt
type_keys 200 201 "keys under Ctrl+Alt with a hung viewer"
release_ctrl_alt
[ "$(reports total)" = $((total + 2 + 2 * 203)) ] && pass "the other viewers are still told beside a hung one" \
  || fail "reports beside a hung viewer: $(( $(reports total) - total )), expected $((2 + 2 * 203))"
echo "hung viewer: 200 presses in $((SECONDS - t0)) s"
kill "$hung" 2>/dev/null

# --- clipdock killed: the program goes on ---------------------------------
# Wine goes on calling the hook of the killed program, which now finds no
# popup to tell: keys under Ctrl+Alt are still reported to the stand-in and
# the hotkey chords still kept, and everything else must pass.
kill -9 "$clipdock" 2>/dev/null
{ wait "$clipdock"; } 2>/dev/null
kill -0 "$clipdock" 2>/dev/null && fail "clipdock still runs after kill -9"
killed=$SECONDS
total=$(reports total)
focus
type_keys "$AFTER" 300 "plain keys after clipdock was killed"
hold_ctrl_alt
type_keys "$AFTER" 400 "keys under Ctrl+Alt after clipdock was killed"
reported=$(( $(reports total) - total ))
# Ctrl+Alt+Up, each held until its fate is known: kept and reported by a
# lingering hook, or passed.
up_decided() { [ "$(keys hot)" -gt "$1" ] || [ "$(reports m1)" -gt "$2" ]; }
kept=0
for i in 1 2 3; do
  hot=$(keys hot) m1=$(reports m1)
  xdotool keydown Up
  until_ok 30 up_decided "$hot" "$m1" || give_up "Ctrl+Alt+Up after the kill neither reached the program nor was reported"
  xdotool keyup Up; hotup=$((hotup + 1))
  reach 30 "$work/keys" hotup "$hotup" || give_up "Up released after the kill: $(keys hotup) releases, expected $hotup"
  [ "$(keys hot)" -gt "$hot" ] || kept=$((kept + 1))
done
release_ctrl_alt
echo "after the kill: $((2 * AFTER)) presses in $((SECONDS - killed)) s; reports from the lingering hook: $reported; Ctrl+Alt+Up kept $kept of 3 times; the hook's library is $([ "$(keys tarn)" = 1 ] && echo still || echo no longer) loaded in the key program"
kill -0 "$keyprog" 2>/dev/null && pass "the key program still runs" || fail "the key program ended"

lost=$((sent - $(keys letters)))
echo "non-hotkey presses sent $sent, received $(keys letters), lost $lost; automatic repeats $(keys repeats); run time $((SECONDS - started)) s"
[ "$(keys repeats)" = 0 ] || fail "the program saw $(keys repeats) automatic repeats"
[ "$lost" = 0 ] || fail "$lost presses lost (or doubled when negative)"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
