# desktop.sh: what the scripts that drive the real clipdock.exe on the test
# display share. Sourced once the script knows its Wine state and bin folder:
#   source desktop.sh WINE-STATE BIN-DIR
# It sets wine, tool (e2etool), work (a folder removed at the end), pids
# (processes ended at the end) and failures, and ends the run's processes on
# exit: clipdock through "Exit" first, so that it leaves the clipboard chain
# and the tray. A script may define before_cleanup and after_cleanup, run
# before and after that.
state=$1 bin=$2
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh" vars "$state"
[ -n "${DISPLAY:-}" ] || { echo "no test display (wine_env_start did not run)"; exit 1; }
wine=$CLIPDOCK_WINE
tool="$bin/e2etool.exe"
work=$(mktemp -d)
pids=()
failures=0
clipdock=
held=

# gone PID: the process has ended.
gone() { ! kill -0 "$1" 2>/dev/null; }

cleanup() {
  local p
  declare -F before_cleanup >/dev/null && before_cleanup
  if [ -n "$clipdock" ] && ! gone "$clipdock"; then
    "$wine" "$tool" command 1106 >/dev/null 2>&1 && until_ok 15 gone "$clipdock"
  fi
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do
    until_ok 5 gone "$p" || kill -9 "$p" 2>/dev/null
  done
  declare -F after_cleanup >/dev/null && after_cleanup
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
skip() { echo "skipped: $*"; }
# Fatal: what follows would only report the same fault again.
give_up() { fail "$*"; echo "$failures failure(s)"; exit 1; }
# check DESCRIPTION COMMAND...: passes or fails by COMMAND; a COMMAND may set
# check_note to say what it saw.
check() {
  check_note=
  if "${@:2}"; then pass "$1"; else fail "$1${check_note:+ ($check_note)}"; fi
}

# until_ok SECONDS COMMAND...: true once COMMAND succeeds, false at the deadline.
until_ok() {
  local deadline=$((SECONDS + $1)); shift
  while ! "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.05
  done
}

# run_tool SECONDS READY LOG PROGRAM ARGS...: a helper program started in the
# background with its output in LOG; true once LOG holds READY, false at the
# deadline. $tool_pid is its process.
run_tool() {
  local seconds=$1 ready=$2 log=$3; shift 3
  "$wine" "$@" >"$log" 2>/dev/null &
  tool_pid=$!
  pids+=("$tool_pid")
  until_ok "$seconds" grep -q "$ready" "$log"
}

# put_clip FILE [XCLIP-OPTIONS]: sets the X clipboard from FILE; xclip stays
# in the foreground to serve it, so that its process is known and ends with
# the run.
put_clip() {
  local file=$1; shift
  xclip -selection clipboard -quiet "$@" -i "$file" >/dev/null 2>&1 &
  pids+=("$!")
}
# put_text TEXT [XCLIP-OPTIONS]: sets the X clipboard; $clip is the file
# holding the text.
clips=0
put_text() {
  local text=$1; shift
  clips=$((clips + 1))
  clip="$work/clip$clips"
  printf '%s' "$text" >"$clip"
  put_clip "$clip" "$@"
}

# fresh_collection: sets folder and ini to the prefix's item folder and
# settings file, as Unix paths, and removes both; false if they are unknown.
fresh_collection() {
  local winpaths
  mapfile -t winpaths < <("$wine" "$tool" paths 2>/dev/null | tr -d '\r')
  folder=$("$wine" winepath.exe -u "${winpaths[0]}" 2>/dev/null | tr -d '\r')
  ini=$("$wine" winepath.exe -u "${winpaths[1]}" 2>/dev/null | tr -d '\r')
  [ -n "$folder" ] && [ -n "$ini" ] || return 1
  rm -rf "$folder" "$ini"
}
# The saved collection state and what it names.
state() { grep -a '^CLIPBOOK_STATE=' "$ini" 2>/dev/null | head -1 | cut -d= -f2- | tr -d '\r'; }
state_count() { state | tr -cd ':' | wc -c; }
state_is() { [ "$(state)" = "$1" ]; }
files() { find "$folder" -maxdepth 1 -name '*.crx' 2>/dev/null | wc -l; }
# The newest item's file name in the item folder.
newest() { local s; s=$(state); s=${s%%:*}; [ -n "$s" ] && echo "${s#\\}"; }
# newest_holds TEXT: the newest item's file holds TEXT; held is then its name
# (the state may be rewritten by the time it is read again).
newest_holds() { local f; f=$(newest) && [ -f "$folder/$f" ] && grep -aqF -- "$1" "$folder/$f" && held=$f; }
newest_is() { [ "$(newest)" = "$1" ]; }

# "draw" lines of the e2etool viewer writing to $work/chain.
draws() { grep -c draw "$work/chain" 2>/dev/null; }
more_draws() { [ "$(draws)" -gt "$1" ]; }
# A line of the e2etool key window writing to $work/keys (its lines end in CR LF).
said() { tr -d '\r' <"$work/keys" | grep -qx "$1"; }

# start_clipdock [SECONDS]: clipdock.exe started from the bin folder; gives up
# unless its panel exists within SECONDS (15).
start_clipdock() {
  (cd "$bin" && exec "$wine" clipdock.exe) >>"$work/clipdock.log" 2>&1 &
  clipdock=$!
  pids+=("$clipdock")
  "$wine" "$tool" wait-window Betal_Clipdock $((${1:-15} * 1000)) >/dev/null 2>&1 ||
    give_up "the panel did not appear"
}
# exit_clipdock: "Exit" from the tray menu, which must end the program within
# 2 s, timed on the Windows side from the post to the end of its process with
# nothing else started meanwhile; exit_code is then clipdock's exit code
# ("none" if it still runs 15 s later). True for exit code 0.
exit_clipdock() {
  local said
  exit_code=none
  said=$("$wine" "$tool" exit 2000 2>/dev/null | tr -d '\r')
  case $said in
    ended*) echo "note: Exit $said" ;;
    *) fail "clipdock still runs 2 s after Exit (${said:-Exit not sent})" ;;
  esac
  until_ok 15 gone "$clipdock" || { fail "clipdock still runs 15 s after Exit"; return 1; }
  wait "$clipdock"; exit_code=$?
  [ "$exit_code" = 0 ] && [ "${said%% *}" = ended ]
}
