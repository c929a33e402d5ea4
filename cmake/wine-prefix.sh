#!/bin/bash
# Makes the build's wine prefix and Russian locale, once. Idempotent.
#   wine-prefix.sh BUILD_DIR
# The build's wine-env names the loader and the prefix kind (win64 for the x86_64 twin, win32 for
# the i686 product); a build without one is an x86_64 build.
set -eu
build=$(cd "$1" && pwd)
prefix="$build/wineprefix"
locpath="$build/locale"
QUORIN_WINE=/usr/lib/wine/wine64 QUORIN_WINEARCH=win64
[ -f "$build/wine-env" ] && . "$build/wine-env"
wine=$QUORIN_WINE

if [ ! -d "$locpath/ru_RU.UTF-8" ]; then
  mkdir -p "$locpath"
  # localedef exits 1 on warnings although the locale is written.
  localedef -i ru_RU -f UTF-8 "$locpath/ru_RU.UTF-8" >/dev/null 2>&1 || true
  [ -d "$locpath/ru_RU.UTF-8" ] || { echo "localedef failed" >&2; exit 1; }
fi

if [ ! -f "$prefix/.quorin-ready" ]; then
  rm -rf "$prefix"
  echo "creating $QUORIN_WINEARCH wine prefix $prefix"
  export WINEPREFIX="$prefix" WINEARCH="$QUORIN_WINEARCH" WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export LOCPATH="$locpath" LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8
  "$wine" wineboot -i >/dev/null 2>&1
  # Without a window manager a closing dialog otherwise stalls for two seconds.
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  # The forms are laid out at 120 dpi; run them at that resolution.
  "$wine" reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
    /v LogPixels /t REG_DWORD /d 120 /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 120 /f >/dev/null 2>&1
  /usr/lib/wine/wineserver64 -w
  # Debian's wine looks for its fonts in a path that does not exist.
  mkdir -p "$prefix/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/"
  [ -f "$prefix/system.reg" ] || { echo "wineboot made no prefix in $prefix" >&2; exit 1; }
  touch "$prefix/.quorin-ready"
fi
