#!/bin/bash
# Runs every benchmark program of a build, <build>/bench/*.exe in name order, under wine in the
# build's prefix (inside with-display.sh, as `make bench` does). A program joins the benchmarks
# by having its target's RUNTIME_OUTPUT_DIRECTORY set to ${CMAKE_BINARY_DIR}/bench.
#   bench.sh BUILD_DIR
set -u -o pipefail
build=$(cd "$1" && pwd)
shopt -s nullglob
programs=("$build"/bench/*.exe)
if [ ${#programs[@]} -eq 0 ]; then
  echo "no benchmark programs in $build/bench" >&2
  exit 1
fi
status=0
for program in "${programs[@]}"; do
  name=$(basename "$program" .exe)
  echo "== $name"
  start=$(date +%s%N)
  "$build/wine-run" "$program" | tr -d '\r' || { echo "$name failed" >&2; status=1; }
  elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
  printf '== %s: %d.%03d s\n\n' "$name" $((elapsed / 1000)) $((elapsed % 1000))
done
exit $status
