# Sourced by the scripts that run the demo host (demo.sh, guide-pictures.sh) with the build folder
# as their first argument: sets here, root, build, dll and exe, checks that both files were
# built, and defines winpath (a Unix path as wine's Z: path).
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$(cd "$1" && pwd)
dll="$build/module/Quorin.dll"
exe="$build/hostsim/demo/OrvexSim.exe"
for f in "$dll" "$exe"; do
  [ -f "$f" ] || { echo "$(basename "$0" .sh): $f is missing; build first (make build-x64)" >&2; exit 1; }
done
winpath() { echo "Z:$1" | tr / '\\'; }
