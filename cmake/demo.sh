#!/bin/bash
# The demo: registers the build's x86_64 Quorin.dll in the build's own wine prefix and starts
# OrvexSim on the sample city on the user's display. Without a display it runs the scripted
# walk-through under a private Xvfb instead (the quarters' population filled with the sum of the
# residents of the buildings inside each quarter) and writes out/demo/: a PNG of each wizard
# page, of the map before and after, and the filled layer as GeoJSON and CSV.
#   demo.sh BUILD_DIR        (BUILD_DIR: the x86_64 build, e.g. build/x86_64)
set -u
. "$(dirname "$0")/demo-env.sh"

bash "$here/wine-prefix.sh" "$build" || exit 1

# A display the user can see: $DISPLAY set and answering (or at least its socket there).
have_display() {
  [ -n "${DISPLAY:-}" ] || return 1
  if command -v xdpyinfo >/dev/null 2>&1; then xdpyinfo >/dev/null 2>&1; return; fi
  if command -v xset >/dev/null 2>&1; then xset q >/dev/null 2>&1; return; fi
  local n=${DISPLAY#*:}; n=${n%%.*}
  [ -S "/tmp/.X11-unix/X$n" ]
}

if have_display; then
  echo "demo: OrvexSim on $DISPLAY (Сервис ▸ Статистика… or the toolbar button starts the wizard)"
  "$build/wine-run" regsvr32 /s "$(winpath "$dll")" || { echo "demo: regsvr32 failed" >&2; exit 1; }
  "$build/wine-run" "$(winpath "$exe")" --city
  rc=$?
  "$build/wine-run" regsvr32 /s /u "$(winpath "$dll")"
  exit $rc
fi

out="$root/out/demo"
rm -rf "$out"
mkdir -p "$out"
echo "demo: no display; scripted walk-through under Xvfb into out/demo"
cat > "$build/demo-walkthrough.sh" <<SCRIPT
"$build/wine-run" regsvr32 /s "$(winpath "$dll")" || { echo "demo: regsvr32 failed" >&2; exit 1; }
"$build/wine-run" "$(winpath "$exe")" --script --city \\
  --target-layer "Кварталы" --target-table "Кварталы" --target-field "Население" \\
  --source "Здания|Здания.Жители|inside" --function sum --out "$(winpath "$out")"
rc=\$?
"$build/wine-run" regsvr32 /s /u "$(winpath "$dll")"
exit \$rc
SCRIPT
bash "$here/with-display.sh" "$build" bash "$build/demo-walkthrough.sh" >/dev/null
rc=$?
if [ $rc -ne 0 ]; then
  echo "demo: the walk-through failed (exit code $rc)" >&2
  exit $rc
fi
for bmp in "$out"/*.bmp; do
  convert "$bmp" -strip "${bmp%.bmp}.png" && rm -f "$bmp" || { echo "demo: cannot convert $bmp" >&2; exit 1; }
done
echo "demo: written to out/demo:"
ls -1 "$out" | sed 's/^/  /'
