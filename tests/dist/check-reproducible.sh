#!/bin/bash
# The release is the same bytes wherever and whenever the same commit is built: make dist from
# this build, and from a copy of the sources at another path whose DLL is built now (no compiler
# cache, on one core: ctest runs it beside another test), gives the same Quorin.dll, package and
# archive.
#   check-reproducible.sh SOURCE_ROOT BUILD_DIR    (BUILD_DIR: the i686 build)
set -eu
root=$(cd "$1" && pwd) build=$(cd "$2" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The copy is no git checkout: both releases take the time of this one's commit.
SOURCE_DATE_EPOCH=$(bash "$root/cmake/source-date-epoch.sh" "$root")
export SOURCE_DATE_EPOCH
copy="$tmp/elsewhere/quorin"
mkdir -p "$copy"
(cd "$root" && git ls-files -z --cached --others --exclude-standard | tar --null -T - --ignore-failed-read -cf - 2>/dev/null) |
  tar -xf - -C "$copy"
type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
cmake -S "$copy" -B "$copy/b" -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/toolchain-i686.cmake" -DCMAKE_BUILD_TYPE="$type" >/dev/null
CCACHE_DISABLE=1 cmake --build "$copy/b" --target Quorin -j 1 >/dev/null
bash "$root/cmake/dist.sh" "$build" "$tmp/here" >/dev/null
bash "$copy/cmake/dist.sh" "$copy/b" "$tmp/there" >/dev/null
fail=0
for f in $(cd "$tmp/here" && ls Quorin*); do
  differ=$(cmp -l "$tmp/here/$f" "$tmp/there/$f" 2>&1 | wc -l)
  [ "$differ" = 0 ] && echo "ok: $f" || { echo "FAILED: $f: $differ bytes differ"; fail=1; }
done
[ -s "$tmp/here/SHA256SUMS" ] && (cd "$tmp/there" && sha256sum --quiet -c "$tmp/here/SHA256SUMS") || fail=1
exit $fail
