# The Wine that runs each Windows build; sourced by wine-env.sh and setup.sh.
#
# x86_64 build: Debian's own Wine (package wine64).
# i686 build: Wine 10 built in its WoW64 mode (--enable-archs=i386,x86_64),
# which runs 32-bit Windows code inside a 64-bit process and so works on
# kernels that load no 32-bit ELF programs. Its runtime lives in
# WOW64_WINE_HOME: setup.sh unpacks it there from WOW64_WINE_TARBALL, or
# 'make wine-wow64' builds it from Debian's source package
# (scripts/build-wine10-wow64.sh). The tarball's paths are absolute, so the
# folder is fixed.

WOW64_WINE_HOME=/opt/wine10-wow64
WOW64_WINE_TARBALL=${CLIPDOCK_WOW64_TARBALL:-$(realpath -m "$(dirname "${BASH_SOURCE[0]}")/../../shared/wow64/wine10-wow64-runtime.tar.xz")}

# wine_choose ARCH: sets CLIPDOCK_WINE (the loader) and CLIPDOCK_WINESERVER
# for a build of ARCH (i686 or x86_64).
wine_choose() {
  case $1 in
    i686)
      CLIPDOCK_WINE=$WOW64_WINE_HOME/bin/wine
      CLIPDOCK_WINESERVER=$WOW64_WINE_HOME/bin/wineserver ;;
    *)
      CLIPDOCK_WINE=/usr/lib/wine/wine64
      CLIPDOCK_WINESERVER=/usr/bin/wineserver ;;
  esac
}

# wine_missing ARCH: prints, in one line, why that Wine cannot run here;
# prints nothing when it can.
wine_missing() {
  local CLIPDOCK_WINE CLIPDOCK_WINESERVER
  wine_choose "$1"
  [ -x "$CLIPDOCK_WINE" ] && [ -x "$CLIPDOCK_WINESERVER" ] && return 0
  if [ "$1" != i686 ]; then
    echo "no $CLIPDOCK_WINE (package wine64; make setup installs it)"
  elif [ -f "$WOW64_WINE_TARBALL" ]; then
    echo "no WoW64 Wine in $WOW64_WINE_HOME: 'make setup' as root unpacks $WOW64_WINE_TARBALL there"
  else
    echo "no WoW64 Wine in $WOW64_WINE_HOME and no $WOW64_WINE_TARBALL to unpack ('make wine-wow64' builds it, about 45 minutes)"
  fi
}
