#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running clipdock need,
# and unpacks the Wine that runs the i686 build when its tarball is at hand.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build make git
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  wine wine64
  xvfb xauth x11-utils xclip xdotool imagemagick
  zip unzip python3 xz-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages: ${missing[*]}" >&2
    echo "setup: run as root (or: sudo $0) to install them" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The i686 build's Wine (see wine-choice.sh): unpacked from the runtime
# tarball when there is one and it is not unpacked yet. The tarball's
# checksum, kept beside the unpacked tree, tells whether the tree is that
# tarball's; a tree without it was built here and is left alone. Without the tarball, or without the right to write there,
# nothing happens here and the i686 runs say why they were skipped.
source "$(dirname "$0")/wine-choice.sh"
if [ -f "$WOW64_WINE_TARBALL" ]; then
  stamp=$WOW64_WINE_HOME/.clipdock-tarball
  if [ ! -w "$(dirname "$WOW64_WINE_HOME")" ]; then
    [ -f "$stamp" ] || echo "setup: cannot unpack the WoW64 Wine into $WOW64_WINE_HOME without root; the i686 runs will be skipped" >&2
  else
    (
      flock 9
      sum=$(sha256sum "$WOW64_WINE_TARBALL" | cut -d' ' -f1)
      [ "$(cat "$stamp" 2>/dev/null)" = "$sum" ] && exit 0
      [ -d "$WOW64_WINE_HOME" ] && [ ! -f "$stamp" ] && exit 0
      echo "setup: unpacking the WoW64 Wine into $WOW64_WINE_HOME"
      rm -rf "$WOW64_WINE_HOME"
      # The tarball holds the folder under its absolute path, without the
      # leading slash.
      tar -xJf "$WOW64_WINE_TARBALL" -C / "${WOW64_WINE_HOME#/}"
      echo "$sum" >"$stamp"
    ) 9>"$WOW64_WINE_HOME.lock"
  fi
fi
