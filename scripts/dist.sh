#!/usr/bin/env bash
# Packs the 32-bit build for users: dist/clipdock-VERSION-win32.zip with
# clipdock.exe, libtarn.dll and README.txt. VERSION is the project version
# in CMakeLists.txt, the one the library's DllGetVersion reports.
#   dist.sh BUILD-DIR [OUT-DIR]   BUILD-DIR: the i686 build, already built;
#                                  OUT-DIR: where the zip goes (dist/)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
out=${2:-$root/dist}
version=$(sed -n 's/^project(clipdock VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "dist: no project version in CMakeLists.txt" >&2; exit 1; }
objdump=i686-w64-mingw32-objdump
for file in clipdock.exe libtarn.dll; do
  [ -f "$build/bin/$file" ] || { echo "dist: $build/bin/$file is not built" >&2; exit 1; }
  "$objdump" -f "$build/bin/$file" | grep -q 'file format pei-i386' ||
    { echo "dist: $file is not a 32-bit Windows binary" >&2; exit 1; }
done
# Each binary carries the project version in its version resource, as
# Explorer's Details tab and installers read it.
IFS=. read -r major minor patch _ <<<"$version.0.0"
numbers="${major}, ${minor}, ${patch:-0}, 0"
for file in clipdock.exe libtarn.dll; do
  info=$(i686-w64-mingw32-windres -i "$build/bin/$file" -O rc |
         sed -n '/ VERSIONINFO$/,/^END$/s/^ *//p')
  for want in "FILEVERSION $numbers" "PRODUCTVERSION $numbers" \
              "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\"" \
              "VALUE \"ProductName\", \"clipdock\"" "VALUE \"OriginalFilename\", \"$file\""; do
    grep -q -F -x -e "$want" <<<"$info" ||
      { echo "dist: the version resource of $file lacks: $want" >&2; exit 1; }
  done
  grep -q -E '^VALUE "FileDescription", "[^"]+"$' <<<"$info" ||
    { echo "dist: the version resource of $file has no file description" >&2; exit 1; }
done
# Nothing beyond the system's DLLs may be needed on a clean Windows.
bash "$root/scripts/check-exports.sh" "$objdump" "$build/bin/libtarn.dll" "$root/tests/exports.txt"
bash "$root/scripts/check-exports.sh" "$objdump" "$build/bin/clipdock.exe" -

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$build/bin/clipdock.exe" "$build/bin/libtarn.dll" "$stage/"
# Notepad of older Windows wants CR LF line ends.
sed "s/@VERSION@/$version/; s/\$/\r/" "$root/clipdock/resources/README.txt" >"$stage/README.txt"
mkdir -p "$out"
zip="$(cd "$out" && pwd)/clipdock-$version-win32.zip"
rm -f "$zip"
(cd "$stage" && touch -d '2000-01-01 00:00' * && zip -q -X "$zip" clipdock.exe libtarn.dll README.txt)
listed=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$listed" = "README.txt clipdock.exe libtarn.dll " ] || { echo "dist: the zip holds $listed" >&2; exit 1; }
unzip -l "$zip"
