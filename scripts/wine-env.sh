#!/usr/bin/env bash
# The private Windows environment of a build folder: a Wine prefix made once
# and reused, and an Xvfb display with a persistent wineserver for a test run.
#   wine-env.sh prefix STATE   make STATE/prefix if it is not there yet
#   wine-env.sh start STATE    prefix, then Xvfb and wineserver; writes STATE/display
#   wine-env.sh stop STATE     ends wineserver and Xvfb
#   wine-env.sh missing STATE  says in one line why STATE's Wine cannot run
#                              (nothing, exit 0, when it can)
#   wine-env.sh wm STATE       matches the prefix to $DISPLAY's window manager,
#                              or to its absence (see match_window_manager)
#   source wine-env.sh vars STATE   exports the Wine variables (and DISPLAY),
#                              among them CLIPDOCK_WINE (the loader to run
#                              programs with) and CLIPDOCK_WINESERVER
# The Wine is the one for STATE's architecture (wine-choice.sh): STATE/arch,
# written by CMake for a build folder's test state, else CLIPDOCK_WINE_ARCH
# (exported here, so a run's further prefixes keep its Wine), else x86_64.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/wine-choice.sh"

wine_vars() {
  if [ -s "$1/arch" ]; then
    CLIPDOCK_WINE_ARCH=$(cat "$1/arch")
  fi
  export CLIPDOCK_WINE_ARCH=${CLIPDOCK_WINE_ARCH:-x86_64}
  wine_choose "$CLIPDOCK_WINE_ARCH"
  export CLIPDOCK_WINE CLIPDOCK_WINESERVER WINESERVER=$CLIPDOCK_WINESERVER
  export WINEPREFIX="$1/prefix" WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree=;mshtml="
  if [ -s "$1/display" ]; then
    export DISPLAY
    DISPLAY=$(cat "$1/display")
  fi
}

# The prefix is made by the Wine that uses it (a newer Wine does not take
# an older one's prefix), and made again when that Wine changes.
make_prefix() {
  local state=$1
  mkdir -p "$state"
  (wine_vars "$state"; prefix_ready "$state") && return 0
  (
    flock 9
    wine_vars "$state"
    prefix_ready "$state" && exit 0
    missing=$(wine_missing "$CLIPDOCK_WINE_ARCH")
    [ -z "$missing" ] || { echo "wine-env: $missing" >&2; exit 1; }
    rm -rf "$state/prefix"
    timeout 180 "$CLIPDOCK_WINE" wineboot -i >"$state/wineboot.log" 2>&1
    # Also here, while no explorer runs: the first program of a display's
    # session starts explorer, which may read the setting before that
    # session's own match has written it.
    match_window_manager "$state"
    timeout 120 "$CLIPDOCK_WINESERVER" -w
    [ -d "$state/prefix/drive_c" ] || { echo "wine-env: wineboot made no prefix (see $state/wineboot.log)" >&2; exit 1; }
    echo "$CLIPDOCK_WINE" >"$state/prefix/.clipdock-ready"
  ) 9>"$state/prefix.lock"
}

prefix_ready() {
  [ "$(cat "$1/prefix/.clipdock-ready" 2>/dev/null)" = "$CLIPDOCK_WINE" ]
}

# Several test runs may share one build folder at once: start and stop keep a
# count of users under a lock, and only the last one out ends the display.
start_env() {
  local state=$1
  make_prefix "$state" || return 1
  (
    flock 9
    users=$(cat "$state/users" 2>/dev/null || echo 0)
    if [ -s "$state/display" ] && xdpyinfo -display "$(cat "$state/display")" >/dev/null 2>&1; then
      echo $((users + 1)) >"$state/users"
      echo "wine environment: reusing display $(cat "$state/display")"
      exit 0
    fi
    kill_env "$state"
    launch_env "$state" || exit 1
    echo 1 >"$state/users"
  ) 9>"$state/env.lock"
}

launch_env() {
  local state=$1 n pid
  for n in $(seq 90 190); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$state/xvfb.log" 2>&1 9>&- &
    pid=$!
    for _ in $(seq 1 100); do
      # Two builds may start their displays at the same moment and try the
      # same number: the display is ours only when its lock names our server.
      if [ "$(tr -dc 0-9 2>/dev/null <"/tmp/.X$n-lock")" = "$pid" ] &&
         xdpyinfo -display ":$n" >/dev/null 2>&1; then
        echo "$pid" >"$state/xvfb.pid"
        echo ":$n" >"$state/display"
        wine_vars "$state"
        "$CLIPDOCK_WINESERVER" -p </dev/null >/dev/null 2>&1 9>&-
        # Before explorer starts, which reads it once.
        DISPLAY=":$n" match_window_manager "$state"
        # The prefix's services start with the first Wine program and live as
        # long as the wineserver; start them here, detached from any test's
        # output, so no test run waits on a pipe they hold.
        timeout 120 "$CLIPDOCK_WINE" wineboot </dev/null >/dev/null 2>&1 9>&-
        echo "wine environment: prefix $state/prefix, display :$n"
        return 0
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$pid" 2>/dev/null
  done
  echo "wine-env: no Xvfb display could be started" >&2
  return 1
}

# Wine hands top-level windows to the display's window manager, and Wine 8
# then waits up to 2 s at every hide of a shown one for the manager to
# confirm it. On a display without one, such as the Xvfb started here, each
# such hide costs those 2 s: Exit after the panel was shown took 4 s, the
# panel's DestroyWindow and explorer hiding its tray window when the last
# icon left, with clipdock waiting in Shell_NotifyIcon meanwhile. There the
# prefix keeps the windows of both programs to itself; other programs, the
# tests' own among them, keep Wine's default.
match_window_manager() {
  local managed=N program
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && managed=Y
  (wine_vars "$1"
   for program in explorer.exe clipdock.exe; do
     timeout 60 "$CLIPDOCK_WINE" reg add "HKCU\\Software\\Wine\\AppDefaults\\$program\\X11 Driver" \
       /v Managed /d "$managed" /f </dev/null >/dev/null 2>&1 9>&-
   done)
}

stop_env() {
  local state=$1
  mkdir -p "$state"
  (
    flock 9
    users=$(cat "$state/users" 2>/dev/null || echo 0)
    if [ "$users" -gt 1 ]; then
      echo $((users - 1)) >"$state/users"
      exit 0
    fi
    echo 0 >"$state/users"
    kill_env "$state"
  ) 9>"$state/env.lock"
}

kill_env() {
  local state=$1
  if [ -d "$state/prefix" ]; then
    (wine_vars "$state"; "$CLIPDOCK_WINESERVER" -k >/dev/null 2>&1; "$CLIPDOCK_WINESERVER" -w >/dev/null 2>&1) || true
  fi
  if [ -s "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
  fi
  rm -f "$state/xvfb.pid" "$state/display"
}

case "${1:-}" in
  prefix) make_prefix "$2" ;;
  start) start_env "$2" ;;
  stop) stop_env "$2" ;;
  vars) wine_vars "$2" ;;
  wm) match_window_manager "$2" ;;
  missing) wine_vars "$2"; missing=$(wine_missing "$CLIPDOCK_WINE_ARCH"); [ -z "$missing" ] || { echo "$missing"; exit 1; } ;;
  *) echo "usage: wine-env.sh prefix|start|stop|missing|vars STATE" >&2; exit 2 ;;
esac
