#!/bin/bash
# make dist with a certificate made for the run (self-signed, for code signing): the DLL and the
# package verify against it, the DLL with one byte changed does not, and the signed package passes
# the package test's installation, registration and client checks in a prefix of its own.
#   check-signed.sh SOURCE_ROOT BUILD_DIR TEST_DIST PREFIX    (BUILD_DIR: the i686 build)
set -eu
root=$(cd "$1" && pwd) build=$(cd "$2" && pwd) test_dist=$3 prefix=$4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj "/CN=Quorin test signer" \
  -addext extendedKeyUsage=codeSigning -addext keyUsage=digitalSignature 2>/dev/null
SIGN_CERT=cert.pem SIGN_KEY=key.pem bash "$root/cmake/dist.sh" "$build" release >/dev/null
fail=0
check() { if "${@:2}" >"$tmp/log" 2>&1; then echo "ok: $1"; else echo "FAILED: $1"; cat "$tmp/log"; fail=1; fi; }
msi=$(ls release/Quorin-*.msi)
check "Quorin.dll verifies" osslsigncode verify -CAfile cert.pem -in release/Quorin.dll
check "$msi verifies" osslsigncode verify -CAfile cert.pem -in "$msi"
# One byte in the middle of the file, inside the sections that the signature covers.
cp release/Quorin.dll changed.dll
at=$(( $(stat -c %s changed.dll) / 2 ))
byte=$(od -An -tu1 -j "$at" -N1 changed.dll)
printf "\\$(printf %03o $(( (byte + 1) % 256 )))" | dd of=changed.dll bs=1 seek="$at" conv=notrunc 2>/dev/null
check "a changed byte fails" bash -c '! osslsigncode verify -CAfile cert.pem -in changed.dll'
export QUORIN_TEST_PACKAGE="$tmp/$msi"
check "the signed package installs, registers and serves its clients" \
  bash -c '"$@" >"$0" 2>&1; rc=$?; cat "$0"; [ $rc = 0 ] && grep -q "PASSED  \] 2 tests" "$0"' "$tmp/gtest.log" \
  bash "$root/tests/dist/package-prefix.sh" win32 "$prefix" "$test_dist" \
  --gtest_filter='Package.WritesWhatRegsvr32WritesForTheSameFile:Package.ClientsCreateTheModuleByProgId'
exit $fail
