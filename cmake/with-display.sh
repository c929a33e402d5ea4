#!/bin/bash
# Runs a command with a private Xvfb display and a persistent wineserver for each build's prefix,
# and stops them afterwards, whatever the command's outcome.
#   with-display.sh BUILD_DIR COMMAND...
#   with-display.sh BUILD_DIR... -- COMMAND...
set -u
builds=()
if printf '%s\n' "$@" | grep -qx -- '--'; then
  while [ "$1" != "--" ]; do builds+=("$(cd "$1" && pwd)"); shift; done
  shift
else
  builds=("$(cd "$1" && pwd)"); shift
fi
for build in "${builds[@]}"; do
  bash "$(dirname "$0")/wine-prefix.sh" "$build" || exit 1
done

n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
export DISPLAY=":$n"

cleanup() {
  for build in "${builds[@]}"; do
    WINEPREFIX="$build/wineprefix" /usr/lib/wine/wineserver64 -k >/dev/null 2>&1
    WINEPREFIX="$build/wineprefix" /usr/lib/wine/wineserver64 -w >/dev/null 2>&1
  done
  kill "$xvfb" >/dev/null 2>&1
  wait "$xvfb" 2>/dev/null
}
trap cleanup EXIT
for build in "${builds[@]}"; do
  QUORIN_WINE=/usr/lib/wine/wine64
  [ -f "$build/wine-env" ] && . "$build/wine-env"
  # One wineserver per prefix serves its 64- and 32-bit programs alike.
  WINEPREFIX="$build/wineprefix" /usr/lib/wine/wineserver64 -p
  # Bring up wine's own services now, so that they do not inherit the output pipes of the first
  # test program (the test runner would then wait for them until its timeout).
  env WINEPREFIX="$build/wineprefix" WINEDEBUG=-all LOCPATH="$build/locale" LC_ALL=ru_RU.UTF-8 \
    "$QUORIN_WINE" wineboot >/dev/null 2>&1 </dev/null
done
# With one build, the command finds its prefix in the environment as before.
[ ${#builds[@]} -eq 1 ] && export WINEPREFIX="${builds[0]}/wineprefix"
"$@"
