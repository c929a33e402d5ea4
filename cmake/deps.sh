#!/bin/bash
# Installs what the build, the tests and the demo need, quietly when everything is there.
#   deps.sh PACKAGE...
# Beside the packages named, it makes the 32-bit runner: the i386 architecture and wine32, and on
# a kernel that cannot run 32-bit code qemu's i386 user-mode emulator (version 10 or later, from
# the backports suite of the machine's own Debian mirror) registered with binfmt_misc.
set -eu
export DEBIAN_FRONTEND=noninteractive

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }

updated=""
# A mirror caught mid-sync fails an index or two; what it did fetch still serves, and the install
# below says so when a package is then missing.
apt_update() {
  [ -n "$updated" ] && return 0
  apt-get update -qq || echo "apt-get update reported errors; going on with the indexes it has" >&2
  updated=1
}
# When a suite's i386 index is missing (a mirror mid-sync), the amd64 candidates of that suite have
# no i386 twin of the same version and Multi-Arch cannot pair them; the release's own suite has both.
apt_install() {
  apt-get install -y -qq --no-install-recommends "$@" >/dev/null && return 0
  local release
  release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$release" ] || return 1
  echo "retrying the install from the $release suite alone" >&2
  apt-get install -y -qq --no-install-recommends -t "$release" "$@" >/dev/null
}

missing=""
for p in "$@"; do installed "$p" || missing="$missing $p"; done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "adding the i386 architecture"
  dpkg --add-architecture i386
  updated=""
fi
installed wine32:i386 || missing="$missing wine32:i386"
if [ -n "$missing" ]; then
  echo "installing:$missing"
  apt_update
  apt_install $missing
fi

# 32-bit code: natively where the kernel runs it, else through qemu's user-mode emulator. Debian
# 12's own qemu 7.2 ignores MAP_FIXED_NOREPLACE, which makes every wine start take about a minute;
# version 10 from the backports suite does not.
binfmt=/proc/sys/fs/binfmt_misc
loader32=/usr/lib/i386-linux-gnu/ld-linux.so.2
[ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
qemu_major() { "$1" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p'; }
if [ -e "$binfmt/qemu-i386" ]; then
  # An entry of an older qemu (Debian 12's own qemu-user-binfmt) is replaced.
  interpreter=$(sed -n 's/^interpreter //p' "$binfmt/qemu-i386")
  v=$(qemu_major "$interpreter")
  [ "${v:-0}" -ge 10 ] && exit 0
  echo "removing the binfmt entry of $interpreter"
  echo -1 >"$binfmt/qemu-i386"
fi
# QUORIN_EMULATE_I386=1 takes the emulator's road on a kernel that runs 32-bit code too.
if [ "${QUORIN_EMULATE_I386:-0}" != 1 ] && "$loader32" --version >/dev/null 2>&1; then
  exit 0
fi
qemu=/usr/bin/qemu-i386
v=$(qemu_major "$qemu")
if [ "${v:-0}" -lt 10 ]; then
  if ! apt-cache policy qemu-user 2>/dev/null | grep -q 'bookworm-backports'; then
    # The backports suite beside the machine's own Debian mirror.
    mirror=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
    [ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $3 == "bookworm" { print $2; exit }' /etc/apt/sources.list 2>/dev/null)
    [ -n "$mirror" ] || { echo "no Debian mirror found in the apt configuration" >&2; exit 1; }
    echo "adding bookworm-backports from $mirror"
    printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      "$mirror" >/etc/apt/sources.list.d/quorin-backports.sources
    updated=""
  fi
  echo "installing qemu-user from bookworm-backports"
  apt_update
  apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user >/dev/null
fi
# The F flag opens the interpreter now, so the entry works in any mount namespace.
echo "registering $qemu for i386 programs with binfmt_misc"
printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
  >"$binfmt/register"
"$loader32" --version >/dev/null 2>&1 || { echo "32-bit programs still do not run" >&2; exit 1; }
