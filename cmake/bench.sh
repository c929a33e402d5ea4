#!/bin/bash
# Runs every benchmark program of each build, <build>/bench/*.exe in name order, under wine in
# the build's prefix (inside with-display.sh, as `make bench` does). A program joins the
# benchmarks by having its target's RUNTIME_OUTPUT_DIRECTORY set to ${CMAKE_BINARY_DIR}/bench.
# A program with a driver beside its source, tests/bench/<name>.sh, is run by that driver (given the
# build folder and the program), which sets its inputs up. Arguments after the builds go to every
# other program. The demo host's benchmarks, tests/bench/orvexsim_*.sh, run OrvexSim.exe itself:
# each is given the build folder, after the build's programs.
#   bench.sh BUILD_DIR... [-- ARGS...]
set -u -o pipefail
builds=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do builds+=("$(cd "$1" && pwd)"); shift; done
[ "${1:-}" = "--" ] && shift
shopt -s nullglob
status=0
for build in "${builds[@]}"; do
  arch=$(sed -n 's/^QUORIN_ARCH=//p' "$build/wine-env")
  programs=("$build"/bench/*.exe)
  if [ ${#programs[@]} -eq 0 ]; then
    echo "no benchmark programs in $build/bench" >&2
    status=1
    continue
  fi
  for program in "${programs[@]}"; do
    name=$(basename "$program" .exe)
    echo "== $name ($arch)"
    start=$(date +%s%N)
    driver="$(dirname "$0")/../tests/bench/$name.sh"
    if [ -f "$driver" ]; then
      bash "$driver" "$build" "$program" || { echo "$name ($arch) failed" >&2; status=1; }
    else
      "$build/wine-run" "$program" "$@" | tr -d '\r' || { echo "$name ($arch) failed" >&2; status=1; }
    fi
    elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
    printf '== %s (%s): %d.%03d s\n\n' "$name" "$arch" $((elapsed / 1000)) $((elapsed % 1000))
  done
  for driver in "$(dirname "$0")"/../tests/bench/orvexsim_*.sh; do
    name=$(basename "$driver" .sh)
    echo "== $name ($arch)"
    start=$(date +%s%N)
    bash "$driver" "$build" || { echo "$name ($arch) failed" >&2; status=1; }
    elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
    printf '== %s (%s): %d.%03d s\n\n' "$name" "$arch" $((elapsed / 1000)) $((elapsed % 1000))
  done
done
exit $status
