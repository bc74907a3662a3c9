#!/usr/bin/env bash
# Starts a Windows build's clipdock.exe under that build's Wine: build/win64
# under Debian's Wine, build/win32 (what Windows users get) under the WoW64
# Wine that runs 32-bit programs on these machines (wine-choice.sh).
#   run.sh [BUILD-DIR [PROGRAM-ARGUMENTS]]    default build/win64
# The program gets its own Wine prefix (BUILD-DIR/run/prefix), apart from the
# tests', so that a test run never touches the collection kept there. On the
# user's display when there is one; otherwise on a private Xvfb, which ends
# with the program. Runs until the program exits or is interrupted.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build/win64}" && pwd) || exit 1
[ $# -gt 0 ] && shift
exe="$build/bin/clipdock.exe"
[ -f "$exe" ] || { echo "run.sh: $exe is missing; build it first ('make win64' or 'make win32')" >&2; exit 1; }
state="$build/run"
# The build's own Wine, as its tests use it.
mkdir -p "$state"
cp "$build/wine/arch" "$state/arch" 2>/dev/null
why=$("$here/wine-env.sh" missing "$state") || { echo "run.sh: $why" >&2; exit 1; }

private=""
program=""
finish() {
  trap - INT TERM EXIT
  [ -n "$program" ] && kill "$program" 2>/dev/null && wait "$program" 2>/dev/null
  if [ -n "$private" ]; then
    "$here/wine-env.sh" stop "$state" >/dev/null
  else
    (source "$here/wine-env.sh" vars "$state"; "$CLIPDOCK_WINESERVER" -k >/dev/null 2>&1) || true
  fi
}
trap finish EXIT
trap 'exit 130' INT TERM

if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  # The tests' way to a display of our own: an Xvfb and the prefix's server,
  # ended with the program.
  "$here/wine-env.sh" start "$state" >/dev/null || { echo "run.sh: no display, and no Xvfb could be started" >&2; exit 1; }
  private=1
  DISPLAY=$(cat "$state/display")
  export DISPLAY
  echo "No display: clipdock runs on a private Xvfb at $DISPLAY (screenshots: DISPLAY=$DISPLAY import -window root shot.png). Ctrl+C ends it."
fi

"$here/wine-env.sh" prefix "$state" || { echo "run.sh: the Wine prefix could not be made" >&2; exit 1; }
# The private display has no window manager, and its start told the prefix
# so; the user's display may have one.
[ -n "$private" ] || "$here/wine-env.sh" wm "$state"
display=$DISPLAY
source "$here/wine-env.sh" vars "$state"
export DISPLAY=$display
echo "clipdock.exe ($CLIPDOCK_WINE_ARCH) on $DISPLAY, prefix $state/prefix, $CLIPDOCK_WINE"
cd "$build/bin" || exit 1
"$CLIPDOCK_WINE" clipdock.exe "$@" &
program=$!
wait "$program"
code=$?
program=""
exit $code
