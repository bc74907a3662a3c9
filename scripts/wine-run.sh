#!/usr/bin/env bash
# Runs a Windows program under the build's Wine with a private prefix and,
# when the test environment has started one, its private Xvfb display.
#   CLIPDOCK_WINE_STATE  folder holding prefix/ and the display file
set -u
here=$(cd "$(dirname "$0")" && pwd)
state=${CLIPDOCK_WINE_STATE:?CLIPDOCK_WINE_STATE is not set}
"$here/wine-env.sh" prefix "$state" || exit 1
source "$here/wine-env.sh" vars "$state"
exec "$CLIPDOCK_WINE" "$@"
