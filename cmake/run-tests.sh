#!/bin/bash
# Runs ctest on each build in turn (inside with-display.sh, as `make test` does) and fails if
# any run failed.
#   run-tests.sh JOBS BUILD_DIR...
set -u
jobs=$1; shift
status=0
for build in "$@"; do
  arch=$(sed -n 's/^QUORIN_ARCH=//p' "$build/wine-env")
  echo "== tests of the $arch build ($build)"
  start=$(date +%s)
  ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 300 || status=1
  echo "== $arch: $(( $(date +%s) - start )) s"
done
exit $status
