#!/bin/bash
# Installs what the build, the tests and the demo need, quietly when everything is there.
#   deps.sh PACKAGE...
# Beside the packages named, it makes the 32-bit runner: the i386 architecture and wine32, and on
# a kernel that cannot run 32-bit code qemu's i386 user-mode emulator (version 10 or later, from
# the backports suite of the machine's own Debian mirror) registered with binfmt_misc.
#   . deps.sh --functions
# defines the functions that make its choices and does nothing else (tests/dist/check-deps.sh
# tries them on sample configurations).

# The first http(s) URI of an apt source in FILE... (one-line .list or deb822 .sources files) that
# is the Debian release RELEASE itself: type deb, RELEASE among its suites, component main, and
# signed by Debian's archive key or without a key of its own. Not the security archive
# (RELEASE-security), not backports or updates, not a third-party repository with a key of its
# own, not a disabled stanza, a deb-src line or a CD.
release_mirror() {
  local release=$1; shift
  local file
  for file in "$@"; do
    [ -r "$file" ] || continue
    case "$file" in
      *.sources) awk -v release="$release" '
        function flush() {
          if (types ~ /(^| )deb( |$)/ && enabled !~ /^(no|false)$/ && (" " suites " ") ~ (" " release " ") &&
              (" " components " ") ~ / main / && (signedby == "" || signedby ~ /debian-archive-keyring/)) {
            n = split(uris, u, " ")
            for (i = 1; i <= n; i++) if (u[i] ~ /^https?:\/\//) { print u[i]; found = 1; exit }
          }
          types = enabled = suites = components = signedby = uris = ""; field = ""
        }
        /^#/ { next }
        /^[ \t]*$/ { flush(); next }
        {
          if ($0 ~ /^[ \t]/) value = $0  # a continuation line
          else if (index($0, ":")) {
            field = tolower(substr($0, 1, index($0, ":") - 1)); value = substr($0, index($0, ":") + 1)
          } else next
          gsub(/[ \t]+/, " ", value)
          if (field == "types") types = types " " value
          else if (field == "enabled") { enabled = tolower(value); gsub(/ /, "", enabled) }
          else if (field == "suites") suites = suites " " value
          else if (field == "components") components = components " " value
          else if (field == "signed-by") signedby = signedby " " value
          else if (field == "uris") uris = uris " " value
        }
        END { if (!found) flush(); exit !found }' "$file" && return 0 ;;
      *) awk -v release="$release" '
        /^[ \t]*#/ { next }
        { sub(/#.*/, ""); line = $0; options = "" }
        match(line, /\[[^]]*\]/) {
          options = substr(line, RSTART, RLENGTH)
          line = substr(line, 1, RSTART - 1) " " substr(line, RSTART + RLENGTH)
        }
        { n = split(line, f, /[ \t]+/); k = 0; for (i = 1; i <= n; i++) if (f[i] != "") w[++k] = f[i]
          if (k < 4 || w[1] != "deb" || w[3] != release || w[2] !~ /^https?:\/\//) next
          if (options ~ /signed-by=/ && options !~ /signed-by=[^] ]*debian-archive-keyring/) next
          for (i = 4; i <= k; i++) if (w[i] == "main") { print w[2]; found = 1; exit } }
        END { exit !found }' "$file" && return 0 ;;
    esac
  done
  return 1
}

# Writes the deb822 source of SUITE at MIRROR into FILE and keeps it only when that suite's
# indexes download (apt-get update of this source alone; APT_OPTION... go to apt-get); otherwise
# the file is removed again and the machine's apt is as it was.
add_source_if_it_downloads() {
  local file=$1 mirror=$2 suite=$3; shift 3
  printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$mirror" "$suite" >"$file"
  if apt-get update -qq --error-on=any -o Dir::Etc::SourceList="$file" -o Dir::Etc::SourceParts=/nonexistent \
       -o APT::Get::List-Cleanup=0 "$@"; then
    return 0
  fi
  rm -f "$file"
  return 1
}

qemu_major() { "$1" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p'; }

# What to do about binfmt_misc, given its qemu-i386 entry ENTRY (a file that may not exist) and a
# command that tells whether the kernel runs 32-bit code itself (NATIVE_CHECK...): prints
#   keep      an enabled entry of qemu 10 or later is there: nothing to do;
#   native    the kernel runs 32-bit code: nothing to do, whatever entry there is;
#   register  the emulator is needed and there is no entry;
#   replace   the emulator is needed and the entry is disabled or not qemu 10's: it goes.
# QUORIN_EMULATE_I386=1 skips the native check.
binfmt_plan() {
  local entry=$1; shift
  if [ -e "$entry" ] && [ "$(head -n 1 "$entry")" = enabled ]; then
    local v
    v=$(qemu_major "$(sed -n 's/^interpreter //p' "$entry")")
    [ "${v:-0}" -ge 10 ] && { echo keep; return; }
  fi
  if [ "${QUORIN_EMULATE_I386:-0}" != 1 ] && "$@"; then echo native; return; fi
  if [ -e "$entry" ]; then echo replace; else echo register; fi
}

[ "${1:-}" = --functions ] && { return 0 2>/dev/null || exit 0; }

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
entry=$binfmt/qemu-i386
loader32=/usr/lib/i386-linux-gnu/ld-linux.so.2
# An enabled qemu-i386 entry runs 32-bit programs even on a kernel that runs them itself (the
# kernel asks binfmt_misc before its own ELF loader), so the loader is tried with it switched off.
runs_32bit_natively() {
  if [ -e "$entry" ] && [ "$(head -n 1 "$entry")" = enabled ]; then
    local status=0
    echo 0 >"$entry"
    "$loader32" --version >/dev/null 2>&1 || status=$?
    echo 1 >"$entry"
    return $status
  fi
  "$loader32" --version >/dev/null 2>&1
}
plan=$(binfmt_plan "$entry" runs_32bit_natively)
if [ "$plan" = native ] && [ -e "$entry" ] && [ "$(head -n 1 "$entry")" = enabled ]; then
  echo "note: the binfmt entry $entry runs 32-bit programs through" \
       "$(sed -n 's/^interpreter //p' "$entry") although the kernel runs them itself; left as it is" >&2
fi
case "$plan" in keep | native) exit 0 ;; esac
if [ ! -e "$binfmt/register" ]; then
  mount -t binfmt_misc binfmt_misc "$binfmt"
  # Entries registered before are visible now.
  plan=$(binfmt_plan "$entry" false)
  [ "$plan" = keep ] && exit 0
fi

qemu=/usr/bin/qemu-i386
v=$(qemu_major "$qemu")
if [ "${v:-0}" -lt 10 ]; then
  added=""
  if ! apt-cache policy qemu-user 2>/dev/null | grep -q 'bookworm-backports'; then
    # The backports suite beside the machine's own Debian mirror.
    backports=/etc/apt/sources.list.d/quorin-backports.sources
    mirror=$(release_mirror bookworm /etc/apt/sources.list.d/debian.sources /etc/apt/sources.list \
               /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources) ||
      { echo "no Debian mirror of bookworm found in the apt configuration" >&2; exit 1; }
    echo "adding bookworm-backports from $mirror"
    add_source_if_it_downloads "$backports" "$mirror" bookworm-backports ||
      { echo "bookworm-backports of $mirror did not download; apt is left as it was" >&2; exit 1; }
    added=$backports
    updated=""
  fi
  echo "installing qemu-user from bookworm-backports"
  apt_update
  if ! apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user >/dev/null; then
    [ -z "$added" ] || { rm -f "$added"; echo "removed $added again" >&2; }
    exit 1
  fi
fi
if [ "$plan" = replace ]; then
  echo "removing the binfmt entry of $(sed -n 's/^interpreter //p' "$entry")"
  echo -1 >"$entry"
fi
# The F flag opens the interpreter now, so the entry works in any mount namespace.
echo "registering $qemu for i386 programs with binfmt_misc"
printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
  >"$binfmt/register"
"$loader32" --version >/dev/null 2>&1 || { echo "32-bit programs still do not run" >&2; exit 1; }
