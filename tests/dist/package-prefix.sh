#!/bin/bash
# Runs a test program of the installer package in a wine prefix made for this run alone, so that
# every run installs into a Windows that has never seen the package:
#   package-prefix.sh win32|win64 PREFIX PROGRAM [ARGS...]
# win32: a 32-bit prefix run by the 32-bit loader; win64: a 64-bit prefix (with its 32-bit side)
# run by wine64. The prefix stays after the run for inspection and is replaced by the next one.
set -u
arch=$1 prefix=$2; shift 2
case "$arch" in
  win32) loader=/usr/lib/wine/wine ;;
  win64) loader=/usr/lib/wine/wine64 ;;
  *) echo "package-prefix.sh: win32 or win64, not '$arch'" >&2; exit 2 ;;
esac
export WINEARCH=$arch WINEPREFIX=$prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

if [ -e "$prefix" ]; then
  /usr/lib/wine/wineserver64 -k >/dev/null 2>&1
  rm -rf "$prefix"
fi
"$loader" wineboot -i >/dev/null 2>&1 </dev/null || { echo "wineboot failed for $prefix" >&2; exit 1; }
"$loader" "$@"
rc=$?
/usr/lib/wine/wineserver64 -k >/dev/null 2>&1
/usr/lib/wine/wineserver64 -w >/dev/null 2>&1
exit $rc
