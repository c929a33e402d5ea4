#!/bin/bash
# Tries the choices of cmake/deps.sh on sample configurations in a temporary folder; the machine's
# apt sources, indexes and binfmt_misc are neither used nor changed:
#   check-deps.sh SOURCE_ROOT
set -u
. "$1/cmake/deps.sh" --functions
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0
expect() { [ "$2" = "$3" ] && echo "ok: $1" || { echo "FAILED: $1: '$3', not '$2'"; fail=1; }; }

# The Debian mirror: neither the security archive, a third-party repository, a disabled stanza,
# a CD nor a deb-src line; a suite on a continuation line; options on a one-line entry.
printf '%s\n' 'Types: deb' 'URIs: http://security.example.org/debian-security' 'Suites: bookworm-security' \
  'Components: main' '' 'Types: deb' 'URIs: https://repo.example.com/debian' 'Suites: bookworm' 'Components: main' \
  'Signed-By: /etc/apt/keyrings/example.gpg' '' '# a comment' 'Types: deb' 'URIs: http://off.example.org/debian' \
  'Suites: bookworm' 'Components: main' 'Enabled: no' '' 'types: deb deb-src' 'uris: cdrom:/media/cdrom/' \
  '  http://mirror.example.org/debian' 'suites: bookworm-updates' '  bookworm' 'components: contrib main' >"$tmp/a.sources"
printf '%s\n' 'deb cdrom:[Debian GNU/Linux 12]/ bookworm main' 'deb-src http://src.example.org/debian bookworm main' \
  'deb [signed-by=/etc/apt/keyrings/example.gpg] https://repo.example.com/debian bookworm main' \
  'deb [ arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg ] http://ftp.example.de/debian bookworm contrib main # ours' >"$tmp/a.list"
head -n 10 "$tmp/a.sources" >"$tmp/b.sources"
head -n 3 "$tmp/a.list" >"$tmp/b.list"
expect "deb822" http://mirror.example.org/debian "$(release_mirror bookworm "$tmp/a.sources")"
expect "one-line, in turn" http://ftp.example.de/debian "$(release_mirror bookworm "$tmp/b.sources" "$tmp/none.list" "$tmp/a.list")"
expect "none" "1" "$(release_mirror bookworm "$tmp/b.sources" "$tmp/b.list"; echo $?)"

# The new source stays only when its suite downloads: a local repository, a refused port.
mkdir -p "$tmp/lists/partial" "$tmp/cache" "$tmp/repo/dists/b/main/binary-amd64"
: >"$tmp/repo/dists/b/main/binary-amd64/Packages"
printf 'Suite: b\nArchitectures: amd64\nComponents: main\nSHA256:\n %s 0 main/binary-amd64/Packages\n' \
  "$(sha256sum </dev/null | cut -d' ' -f1)" >"$tmp/repo/dists/b/Release"
apt=(-o Dir::State::Lists="$tmp/lists" -o Dir::Cache="$tmp/cache" -o Debug::NoLocking=1
     -o APT::Sandbox::User=root -o APT::Architectures=amd64 -o Acquire::AllowInsecureRepositories=1)
add_source_if_it_downloads "$tmp/kept.sources" "file:$tmp/repo" b "${apt[@]}" 2>/dev/null
expect "a suite that downloads" "0 kept" "$? $([ -f "$tmp/kept.sources" ] && echo kept)"
add_source_if_it_downloads "$tmp/gone.sources" http://127.0.0.1:9/debian b "${apt[@]}" 2>/dev/null
expect "a suite that does not" "1 " "$? $([ -f "$tmp/gone.sources" ] && echo kept)"

# binfmt_misc: for no entry, an enabled qemu 7 and 10, a disabled qemu 10; native kernel or not.
for v in 7 10; do
  printf '#!/bin/sh\necho "qemu-i386 version %s.0.1 (Debian)"\n' $v >"$tmp/qemu$v" && chmod +x "$tmp/qemu$v"
  printf '%s\ninterpreter %s\nflags: F\n' enabled "$tmp/qemu$v" >"$tmp/on$v"
  printf '%s\ninterpreter %s\nflags: F\n' disabled "$tmp/qemu$v" >"$tmp/off$v"
done
plans=$(for e in none on7 on10 off10; do for native in true false; do binfmt_plan "$tmp/$e" $native; done; done)
expect "binfmt" "native register native replace keep keep native replace" "$(echo $plans)"
expect "binfmt, emulation asked for" register "$(QUORIN_EMULATE_I386=1 binfmt_plan "$tmp/none" true)"
exit $fail
