#!/bin/bash
# Takes the documentation's pictures of the source dialog into docs/: runs sourcedialog_shots
# under the test display and crops each picture it asks for from the X screen.
#   bash tests/wizard/doc-shots.sh BUILD_DIR/x86_64
set -eu
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/take.sh" <<INNER
set -u
"$build/wine-run" "$build/tests/wizard/sourcedialog_shots.exe" "Z:${work//\//\\}" &
pid=\$!
while kill -0 \$pid 2>/dev/null; do
  if [ -f "$work/shot-request.txt" ]; then
    sleep 0.3
    read -r name x y w h < "$work/shot-request.txt"
    import -window root -crop "\${w}x\${h}+\${x}+\${y}" +repage "$root/docs/\$name.png"
    echo "docs/\$name.png \${w}x\${h}"
    rm -f "$work/shot-request.txt"
  fi
  sleep 0.1
done
wait \$pid
INNER
bash "$root/cmake/with-display.sh" "$build" bash "$work/take.sh"
