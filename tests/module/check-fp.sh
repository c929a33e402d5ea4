#!/bin/bash
# Checks where the built DLL computes in floating point:
#   check-fp.sh OBJDUMP Quorin.dll FUNCTIONS
# Every function of the DLL's code that holds a floating-point instruction (x87 arithmetic,
# loads, stores and comparisons; SSE arithmetic, comparisons and conversions; the control and
# status instructions excepted) must be one of FUNCTIONS' names (fp-functions.txt; i686 names
# without the leading underscore of their decoration), so that a new one is a decision.
set -u
objdump=$1 dll=$2 functions=$3
[ -f "$dll" ] || { echo "no such file: $dll"; exit 1; }
found=$("$objdump" -d -j .text --no-show-raw-insn "$dll" | awk '
  /^[0-9a-f]+ <.*>:$/ { fn = substr($2, 2, length($2) - 3); next }
  # Data that the linker placed among the code (.gcc_except_table on i686) is no code.
  fn != "" && fn !~ /^\./ && /^ *[0-9a-f]+:\t/ {
    split($0, part, "\t"); split(part[2], word, " "); m = word[1]
    x87 = m ~ /^f/ && m !~ /^(fnstcw|fstcw|fldcw|fnstenv|fstenv|fldenv|fnstsw|fstsw|fnclex|fclex|fwait|fninit|fnsave|frstor|fxsave|fxrstor|fxsave64|fxrstor64)$/
    sse = m ~ /^v?(add|sub|mul|div|sqrt|min|max|cmp[a-z]*|rcp|rsqrt|round|hadd|hsub|dp|addsub)(ss|sd|ps|pd)$/ || m ~ /^v?(u?comis[sd]|cvt[a-z0-9]*)$/
    if ((x87 || sse) && !(fn in seen)) { seen[fn] = 1; print fn }
  }' | sed 's/^_\(_Z\|__\)/\1/' | sort)
# The variant arithmetic has some: none found means the scan read nothing.
[ -n "$found" ] || { echo "no floating-point instruction found at all"; exit 1; }
known=$(grep -v '^#' "$functions" | sed 's/[[:space:]].*//' | grep -v '^$')
fail=0
while read -r fn; do
  [ -n "$fn" ] || continue
  if ! printf '%s\n' "$known" | grep -qxF "$fn"; then
    echo "floating point outside $(basename "$functions"): $fn"; fail=1
  fi
done <<< "$found"
[ $fail = 0 ] && echo "floating point in: $(echo $found)"
exit $fail
