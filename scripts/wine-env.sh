#!/usr/bin/env bash
# The private Windows environment of a build folder: a Wine prefix made once
# and reused, and an Xvfb display with a persistent wineserver for a test run.
#   wine-env.sh prefix STATE   make STATE/prefix if it is not there yet
#   wine-env.sh start STATE    prefix, then Xvfb and wineserver; writes STATE/display
#   wine-env.sh stop STATE     ends wineserver and Xvfb
#   source wine-env.sh vars STATE   exports the Wine variables (and DISPLAY)
set -u

wine_vars() {
  export WINEPREFIX="$1/prefix" WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree=;mshtml="
  if [ -s "$1/display" ]; then
    export DISPLAY
    DISPLAY=$(cat "$1/display")
  fi
}

make_prefix() {
  local state=$1
  mkdir -p "$state"
  [ -f "$state/prefix/.clipdock-ready" ] && return 0
  (
    flock 9
    [ -f "$state/prefix/.clipdock-ready" ] && exit 0
    rm -rf "$state/prefix"
    wine_vars "$state"
    timeout 180 /usr/lib/wine/wine64 wineboot -i >"$state/wineboot.log" 2>&1
    timeout 120 /usr/bin/wineserver -w
    touch "$state/prefix/.clipdock-ready"
  ) 9>"$state/prefix.lock"
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
      if xdpyinfo -display ":$n" >/dev/null 2>&1; then
        echo "$pid" >"$state/xvfb.pid"
        echo ":$n" >"$state/display"
        wine_vars "$state"
        /usr/bin/wineserver -p </dev/null >/dev/null 2>&1 9>&-
        # The prefix's services start with the first Wine program and live as
        # long as the wineserver; start them here, detached from any test's
        # output, so no test run waits on a pipe they hold.
        timeout 120 /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1 9>&-
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
    (wine_vars "$state"; /usr/bin/wineserver -k >/dev/null 2>&1; /usr/bin/wineserver -w >/dev/null 2>&1) || true
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
  *) echo "usage: wine-env.sh prefix|start|stop|vars STATE" >&2; exit 2 ;;
esac
