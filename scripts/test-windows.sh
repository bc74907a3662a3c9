#!/usr/bin/env bash
# The Windows tests of both builds at the same time: build/win64 under
# Debian's Wine and build/win32 under the WoW64 Wine (wine-choice.sh). Each
# build folder has its own prefix, display and wineserver (wine-env.sh), so
# the two runs do not meet. Without the i686 build's Wine only its checks of
# the binaries run (label "static"), and one line says why.
#   test-windows.sh BUILD-ROOT
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$1" && pwd) || exit 1

# run BUILD [CTEST-ARGUMENTS]: that build's tests, each line marked with BUILD.
run() {
  local build=$1
  shift
  ctest --test-dir "$root/$build" "$@" 2>&1 | sed -u "s/^/[$build] /"
  return "${PIPESTATUS[0]}"
}

skipped=
run win64 &
win64=$!
if why=$("$here/wine-env.sh" missing "$root/win32/wine"); then
  run win32 &
else
  skipped="i686 runs skipped: $why"
  echo "$skipped"
  run win32 -L static &
fi
win32=$!
wait "$win64"
result64=$?
wait "$win32"
result32=$?
[ -z "$skipped" ] || echo "$skipped"
echo "Windows tests: x86_64 $([ $result64 -eq 0 ] && echo passed || echo FAILED)," \
     "i686 $([ $result32 -eq 0 ] && echo passed || echo FAILED)${skipped:+ (binary checks only)}"
[ $result64 -eq 0 ] && [ $result32 -eq 0 ]
