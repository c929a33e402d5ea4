#!/bin/bash
# The time of a release, in seconds since 1970: every time stamp of make dist comes from it, so
# that the same commit gives the same files wherever and whenever it is built.
#   source-date-epoch.sh [SOURCE_ROOT]
# SOURCE_DATE_EPOCH when it is set; else the time of the checkout's commit; outside a git
# checkout, the modification time of VERSION (an archive made by `git archive` gives every file
# the commit's time), and it says so on standard error.
set -eu
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  echo "$SOURCE_DATE_EPOCH"
elif [ "$(git -C "$root" rev-parse --show-toplevel 2>/dev/null)" = "$(cd "$root" && pwd -P)" ]; then
  git -C "$root" log -1 --format=%ct
else
  echo "dist: not a git checkout and no SOURCE_DATE_EPOCH: time stamps from VERSION's modification time" >&2
  stat -c %Y "$root/VERSION"
fi
