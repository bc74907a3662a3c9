#!/bin/bash
# Wine 10.0 (Debian trixie source 10.0~repack-6) in new-WoW64 mode (--enable-archs=i386,x86_64)
# under /opt/wine10-wow64, built on Debian 12 (bookworm) with bookworm build-deps only: the Wine
# that runs the i686 build's tests (scripts/wine-choice.sh) where its runtime tarball is not at hand.
# About 45 minutes on 2 cores; needs root (build dependencies, /opt) and Debian's package mirror.
# 'make wine-wow64' runs it without the last step (pack makes the runtime tarball).
# Usage: bash build-wine10-wow64.sh [step...]  steps: deps src unidata regen configure build inst fix pack (default: all)
# The sources come from the mirror the machine's apt sources name for bookworm ('mirror' prints it;
# MIRROR=URL overrides it; APT_CONFIG points apt, and this, at other sources, as apt-get knows it).
set -euo pipefail
PREFIX=${PREFIX:-/opt/wine10-wow64}
W=${W:-${TMPDIR:-/tmp}/wine10-build}
HERE=$(cd "$(dirname "$0")" && pwd)
SRC=$W/wine-10.0~repack
LOG=$W/logs; mkdir -p $LOG
F='fontdir=${datadir}/wine/fonts'   # Debian's install-paths patch hard-codes /usr/share/wine/fonts
STEPS=${*:-deps src unidata regen configure build inst fix pack}
t() { local s=$(date +%s); "$@"; echo "$(date -u +%T) step '$*' took $(( $(date +%s)-s ))s" | tee -a $LOG/times.txt; }

# The mirror of the first source of bookworm's packages in the files apt reads, in the one-line
# format (sources.list, *.list) or in deb822 (*.sources), as apt-config names them. Only Debian's
# archive counts: a ".../debian" address with the main component (other vendors' repositories
# name bookworm too, and their address would end up in the source lists written below).
debian_mirror() {
  local list parts f uri
  eval "$(apt-config shell list Dir::Etc::sourcelist/f parts Dir::Etc::sourceparts/d)"
  for f in "$list" "${parts%/}"/*.list "${parts%/}"/*.sources; do
    [ -f "$f" ] || continue
    case $f in
      *.sources) uri=$(awk -v suite=bookworm '
          function flush() {
            if (!found && types ~ "(^| )deb( |$)" && (" " suites " ") ~ (" " suite " ") &&
                (" " components " ") ~ / main / && uri ~ /\/debian\/?$/ &&
                tolower(enabled) != "no" && uri != "") { print uri; found = 1 }
            types = suites = uri = enabled = components = ""
          }
          /^#/ { next }
          /^[ \t]*$/ { flush(); next }
          /^[^ \t]/ {
            key = tolower($1); value = $0; sub(/^[^:]*:[ \t]*/, "", value)
            if (key == "types:") types = value
            else if (key == "suites:") suites = value
            else if (key == "uris:") { split(value, u, /[ \t]+/); uri = u[1] }
            else if (key == "enabled:") enabled = value
            else if (key == "components:") components = value
          }
          END { flush() }' "$f") ;;
      *) uri=$(sed -e 's/#.*//' -e 's/\[[^]]*\]//' "$f" |
               awk '$1 == "deb" && $3 == "bookworm" && $2 ~ /\/debian\/?$/ {
                      for (i = 4; i <= NF; i++) if ($i == "main") { print $2; exit } }') ;;
    esac
    [ -z "$uri" ] || { echo "$uri"; return 0; }
  done
}
mirror() {
  MIRROR=${MIRROR:-$(debian_mirror)}
  [ -n "$MIRROR" ] || { echo "no bookworm source in apt's sources: set MIRROR" >&2; return 1; }
  echo "$MIRROR"
}

deps() {  # bookworm packages only
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    autoconf autotools-dev flex bison gettext libgettextpo-dev unicode-data khronos-api \
    libxml-libxml-perl libvulkan-dev fontforge-nox librsvg2-bin icoutils imagemagick \
    libx11-dev libxext-dev libxrender-dev libxfixes-dev libxi-dev libxrandr-dev libxcursor-dev \
    libxinerama-dev libxcomposite-dev libxxf86vm-dev libfreetype-dev libfontconfig-dev \
    libz-mingw-w64-dev gcc-mingw-w64-i686 gcc-mingw-w64-x86-64 dpkg-dev python3 xz-utils
}
src() {  # trixie *source* index only (nothing from trixie is installed)
  mkdir -p $W/trixie/lists/partial
  mirror
  echo "deb-src $MIRROR trixie main" > $W/trixie/trixie-src.list
  A="-o Dir::Etc::SourceList=$W/trixie/trixie-src.list -o Dir::Etc::SourceParts=/dev/null -o Dir::State::Lists=$W/trixie/lists"
  apt-get $A update -qq
  cd $W && apt-get $A source --download-only wine=10.0~repack-6
  rm -rf "$SRC" && dpkg-source -x wine_10.0~repack-6.dsc
}
unidata() {
  # Wine 10 wants unicode-idna 16 and unicode-cldr-core 46 (trixie); bookworm has neither and the
  # registry's pool lacks their trixie sources.  Use IDNA 15.0 and CLDR 42 as shipped inside
  # bookworm's wine 8.0 Debian tarball (debian/unicode/{tr46,cldr}); locales CLDR 42 lacks
  # fall back to their parent (or root), see patch-make_unicode-cldr42.pl.
  mkdir -p $W/u8 && cd $W/u8
  mirror
  [ -f /etc/apt/sources.list.d/debian-src.sources ] || { cat > /etc/apt/sources.list.d/debian-src.sources <<S
Types: deb-src
URIs: $MIRROR
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
S
  apt-get update -qq; }
  ls wine_8.0~repack-4.debian.tar.xz 2>/dev/null || apt-get source --download-only wine=8.0~repack-4
  tar -xJf wine_8.0~repack-4.debian.tar.xz debian/unicode/cldr debian/unicode/tr46
}
regen() {  # files the repack omits, as debian/rules override_dh_auto_configure does
  cd "$SRC"
  U8=$W/u8/debian/unicode
  sed -e "s|url  => \"/usr/share/unicode/idna\"|url  => \"$U8/tr46/15.0.0\"|" \
      -e "s|url  => \"/usr/share/unicode/cldr\"|url  => \"$U8/cldr/release-42.zip\"|" \
      -e 's|my \$base = "";|my $base = "cldr-release-42";|' \
      -e 's|die "invalid checksum \$sha for \$url" unless|warn "checksum $sha for $url differs\\n" unless|' \
      tools/make_unicode | perl $HERE/patch-make_unicode-cldr42.pl > tools/make_unicode.new
  mv tools/make_unicode.new tools/make_unicode && chmod +x tools/make_unicode
  ./tools/make_unicode
  ./tools/make_requests
  ./tools/make_specfiles
  (cd dlls/dsound && ./make_fir)
  (cd dlls/opengl32 && ./make_opengl)
  (cd dlls/winevulkan && python3 ./make_vulkan -x /usr/share/vulkan/registry/vk.xml -X /usr/share/vulkan/registry/video.xml)
  ln -sf /usr/share/misc/config.sub /usr/share/misc/config.guess tools/
  sed -n 's/^\tln -sf \(\.\..*\)$/\1/p' debian/rules | while read a b; do ln -sf "$a" "$b"; done
  rm -rf libs/zlib        # system/zlib.patch: use libz-mingw-w64-dev
  autoreconf -f -i
}
# To fit a 2-core build into the time available, skip the duplicate old-version builds of
# shared sources (each compiles the parent's sources again for both archs, ~30% of the build):
# d3dx9_24..42 (d3dx9_36 and _43 kept), d3dx10_33..42 (_43 kept), d3dcompiler_33..42,46 (_43, _47 kept),
# msvcr70..110, msvcrtd, crtdll (msvcrt, msvcr120, ucrtbase kept), msvcp60..80 (msvcp90+ kept).
# Set TRIM=0 for the complete module set.
TRIM=${TRIM:-1}
trim_flags() {
  [ "$TRIM" = 1 ] || return 0
  local m
  for m in $(seq 24 35) $(seq 37 42); do echo --disable-d3dx9_$m; done
  for m in $(seq 33 42); do echo --disable-d3dx10_$m; done
  for m in $(seq 33 42) 46; do echo --disable-d3dcompiler_$m; done
  for m in msvcr70 msvcr71 msvcr80 msvcr90 msvcr100 msvcr110 msvcrtd crtdll msvcp60 msvcp70 msvcp71 msvcp80; do
    echo --disable-$m; done
}
configure() {
  cd "$SRC"
  # winevulkan's unix side needs Vulkan headers 1.4.303; bookworm's vk.xml is 1.3.239
  # (make_vulkan output lacks VK_API_VERSION_1_4, VkPhysicalDeviceMapMemoryPlaced*): leave it out.
  ./configure --prefix=$PREFIX --enable-archs=i386,x86_64 $(trim_flags) \
    --disable-winevulkan --disable-vulkan-1 \
    --enable-maintainer-mode --disable-tests --disable-win16 \
    --with-x --with-freetype --with-fontconfig \
    --without-alsa --without-capi --without-coreaudio --without-cups --without-dbus --without-ffmpeg \
    --without-gphoto --without-gnutls --without-gssapi --without-gstreamer --without-krb5 --without-netapi \
    --without-opencl --without-opengl --without-osmesa --without-oss --without-pcap --without-pcsclite \
    --without-pulse --without-sane --without-sdl --without-udev --without-unwind \
    --without-usb --without-v4l2 --without-vulkan --without-wayland \
    CONVERT=/usr/bin/convert CFLAGS="-O2 -g0 -Wno-array-bounds -Wno-unused-function -Wno-format" \
    CROSSCFLAGS="-O2 -g0"
}
build() {
  cd "$SRC"
  nice -n 10 make -j2 "$F" include/all     # avoids a header race (libs/jxr) with -j2
  nice -n 10 make -j2 "$F"
}
inst() { cd "$SRC" && make -j2 install "$F"; }
fix() {
  cd "$SRC"
  mkdir -p $PREFIX/share/fonts
  if [ -d $PREFIX/share/wine/fonts ]; then
    mv $PREFIX/share/wine/fonts/* $PREFIX/share/fonts/ && rmdir $PREFIX/share/wine/fonts
  fi
  cp fonts/*.ttf $PREFIX/share/fonts/ 2>/dev/null || true
  # system zlib1.dll (libz-mingw-w64), marked "Wine builtin DLL" as Debian's libwine.postinst does
  for a in i686:i386 x86_64:x86_64; do
    in=/usr/${a%%:*}-w64-mingw32/lib/zlib1.dll; out=$PREFIX/lib/${a##*:}-windows/zlib1.dll
    { head -c 64 $in; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 $in; } > $out
  done
}
pack() {  # runtime tarball: no headers, import libs (.a) or man pages
  cd /
  XZ_OPT=-T2 tar -cJf $W/wine10-wow64-runtime.tar.xz \
    --exclude="${PREFIX#/}/include" --exclude="${PREFIX#/}/share/man" --exclude='*.a' "${PREFIX#/}"
  ls -l $W/wine10-wow64-runtime.tar.xz
  tar -tJf $W/wine10-wow64-runtime.tar.xz | grep -vc '/$'
}
for s in $STEPS; do t $s > >(tee -a $LOG/$s.log) 2>&1; done
