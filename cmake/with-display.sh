#!/bin/bash
# Runs a command with a private Xvfb display and a persistent wineserver for the build's prefix,
# and stops both afterwards, whatever the command's outcome.
#   with-display.sh BUILD_DIR COMMAND...
set -u
build=$(cd "$1" && pwd); shift
bash "$(dirname "$0")/wine-prefix.sh" "$build" || exit 1
export WINEPREFIX="$build/wineprefix"

n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
export DISPLAY=":$n"

/usr/lib/wine/wineserver64 -p
# Bring up wine's own services now, so that they do not inherit the output pipes of the first
# test program (the test runner would then wait for them until its timeout).
env WINEDEBUG=-all LOCPATH="$build/locale" LC_ALL=ru_RU.UTF-8 /usr/lib/wine/wine64 wineboot >/dev/null 2>&1 </dev/null
cleanup() {
  /usr/lib/wine/wineserver64 -k >/dev/null 2>&1
  /usr/lib/wine/wineserver64 -w >/dev/null 2>&1
  kill "$xvfb" >/dev/null 2>&1
  wait "$xvfb" 2>/dev/null
}
trap cleanup EXIT
"$@"
