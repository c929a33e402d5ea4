#!/bin/bash
# make dist: a release from the i686 build, into dist/ at the source root:
#   Quorin-VERSION.msi   the Windows Installer package (built with the i686 build by wixl)
#   Quorin-VERSION.zip   Quorin.dll, README.md and the user guide with the pictures it shows
#   dist.sh BUILD_DIR    (BUILD_DIR: the i686 build, e.g. build/i686)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
version=$(head -n 1 "$root/VERSION")
msi="$build/dist/Quorin-$version.msi"
dll="$build/module/Quorin.dll"
for f in "$msi" "$dll"; do
  [ -f "$f" ] || { echo "dist: $f is missing; build first (make build-x86)" >&2; exit 1; }
done
out="$root/dist"
mkdir -p "$out"
rm -f "$out/Quorin-$version.msi" "$out/Quorin-$version.zip"
cp "$msi" "$out/"

# The archive: the documents keep their paths, so that the pictures they link are found.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$dll" "$stage/"
docs="README.md docs/user-guide.ru.md"
pictures=$(cd "$root" && for d in $docs; do
  base=$(dirname "$d")
  grep -o '](\([^)]*\.png\))' "$d" | sed 's/^](\(.*\))$/\1/' | while read -r p; do
    (cd "$base" && realpath --relative-to="$root" "$p")
  done
done | sort -u)
for f in $docs $pictures; do
  [ -f "$root/$f" ] || { echo "dist: $f is missing" >&2; exit 1; }
  mkdir -p "$stage/$(dirname "$f")"
  cp "$root/$f" "$stage/$f"
done
(cd "$stage" && cmake -E tar cf "$out/Quorin-$version.zip" --format=zip Quorin.dll $docs $pictures)
cd "$root" && ls -l "dist/Quorin-$version.msi" "dist/Quorin-$version.zip"
