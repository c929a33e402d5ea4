#!/bin/bash
# make dist: a release from the i686 build's Quorin.dll, into OUT_DIR (dist/ at the source root):
#   Quorin.dll           the module
#   Quorin-VERSION.msi   its Windows Installer package (installer/package.py, wixl)
#   Quorin-VERSION.zip   Quorin.dll, README.md and the user guide with the pictures it shows
#   SHA256SUMS           the three files' SHA-256
#   dist.sh BUILD_DIR [OUT_DIR]    (BUILD_DIR: the i686 build, e.g. build/i686)
# DIST_DLL: a Quorin.dll to release instead of the build's (a published signed one, to compare
# its package and archive with those that this commit gives).
# The same commit gives the same bytes: every time stamp is the release's time
# (cmake/source-date-epoch.sh: SOURCE_DATE_EPOCH, else the commit's time).
# Signing, when a certificate is given in the environment (osslsigncode, SHA-256; the DLL before
# it is packed, then the package): SIGN_CERT and SIGN_KEY, PEM files; or SIGN_CERT alone, a
# PKCS#12 file. SIGN_PASS_FILE: a file holding the password of the key or of the PKCS#12 file.
# SIGN_TIMESTAMP_URL: an RFC 3161 time-stamping server. The signing time is the release's time.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
out=${2:-$root/dist}
version=$(head -n 1 "$root/VERSION")
dll=${DIST_DLL:-$build/module/Quorin.dll}
[ -f "$dll" ] || { echo "dist: $dll is missing; build first (make build-x86)" >&2; exit 1; }
SOURCE_DATE_EPOCH=$(bash "$root/cmake/source-date-epoch.sh" "$root")
export SOURCE_DATE_EPOCH
msi="Quorin-$version.msi" zip="Quorin-$version.zip"

signing=()
[ -n "${SIGN_CERT:-}" ] || [ -z "${SIGN_KEY:-}" ] || { echo "dist: SIGN_KEY without SIGN_CERT" >&2; exit 1; }
if [ -n "${SIGN_CERT:-}" ]; then
  if [ -n "${SIGN_KEY:-}" ]; then signing=(-certs "$SIGN_CERT" -key "$SIGN_KEY"); else signing=(-pkcs12 "$SIGN_CERT"); fi
  [ -z "${SIGN_PASS_FILE:-}" ] || signing+=(-readpass "$SIGN_PASS_FILE")
  [ -z "${SIGN_TIMESTAMP_URL:-}" ] || signing+=(-ts "$SIGN_TIMESTAMP_URL")
  signing+=(-h sha256 -n Quorin -time "$SOURCE_DATE_EPOCH")
fi
# sign IN OUT: OUT is IN signed (or a copy of it without a certificate).
sign() {
  if [ ${#signing[@]} -eq 0 ]; then cp "$1" "$2"; return; fi
  osslsigncode sign "${signing[@]}" -in "$1" -out "$2" >/dev/null ||
    { echo "dist: signing $1 failed" >&2; exit 1; }
}

mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out/Quorin.dll" "$out/$msi" "$out/$zip" "$out/SHA256SUMS"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
sign "$dll" "$stage/Quorin.dll"
/usr/bin/python3 "$root/installer/package.py" "$(command -v wixl)" "$root/installer/Quorin.wxs" "$version" \
  "$stage/Quorin.dll" "$stage/$msi"
sign "$stage/$msi" "$out/$msi"
cp "$stage/Quorin.dll" "$out/Quorin.dll"

# The archive: the documents keep their paths, so that the pictures they link are found. Its
# entries in a fixed order, with the release's time and fixed permissions, no owner.
docs="README.md docs/user-guide.ru.md"
pictures=$(cd "$root" && for d in $docs; do
  base=$(dirname "$d")
  grep -o '](\([^)]*\.png\))' "$d" | sed 's/^](\(.*\))$/\1/' | while read -r p; do
    (cd "$base" && realpath --relative-to="$root" "$p")
  done
done | LC_ALL=C sort -u)
for f in $docs $pictures; do
  [ -f "$root/$f" ] || { echo "dist: $f is missing" >&2; exit 1; }
done
(cd "$root" && /usr/bin/python3 - "$out/$zip" "$stage/Quorin.dll" $docs $pictures) <<'EOF'
import os, sys, time, zipfile
when = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]
with zipfile.ZipFile(sys.argv[1], "w") as archive:
    for i, path in enumerate(sys.argv[2:]):
        entry = zipfile.ZipInfo(os.path.basename(path) if i == 0 else path, when)
        entry.compress_type, entry.external_attr, entry.create_system = zipfile.ZIP_DEFLATED, 0o100644 << 16, 3
        with open(path, "rb") as f:
            archive.writestr(entry, f.read(), compresslevel=9)
EOF

cd "$out" && sha256sum Quorin.dll "$msi" "$zip" >SHA256SUMS
[ ${#signing[@]} -gt 0 ] || echo "dist: unsigned (no SIGN_CERT given)"
ls -l "$out/Quorin.dll" "$out/$msi" "$out/$zip" "$out/SHA256SUMS"
