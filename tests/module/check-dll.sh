#!/bin/bash
# Checks the product DLL's import and export tables:
#   check-dll.sh OBJDUMP Quorin.dll [FUNCTIONS]
# Only Windows system DLLs imported; export directory named Quorin.dll with the four entry points.
# With FUNCTIONS (xp-sp3-functions.txt): every imported function is one of its "dll function"
# lines, so that the DLL loads on the oldest Windows it is made for.
set -u
objdump=$1 dll=$2 functions=${3:-}
[ -f "$dll" ] || { echo "no such file: $dll"; exit 1; }
dump=$("$objdump" -p "$dll") || exit 1
fail=0
system='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|comctl32|msvcrt|shell32|uxtheme|comdlg32)\.dll$'
imports=$(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { echo "no imports found"; fail=1; }
for i in $imports; do
  if ! printf '%s\n' "$i" | grep -Eq "$system"; then echo "not a system DLL: $i"; fail=1; fi
done
if [ -n "$functions" ]; then
  # "dll function" for each import by name; an import by ordinal shows as "dll <ordinal N>".
  used=$(printf '%s\n' "$dump" | awk -F'\t' '
    /^\tDLL Name:/ { split($2, a, " "); d = tolower(a[3]); next }
    /The Export Tables/ { exit }
    d != "" && NF >= 3 && $2 ~ /^[0-9a-f]+$/ { split($3, b, " "); print d, (b[2] == "" ? "<ordinal " b[1] ">" : b[2]) }')
  [ -n "$used" ] || { echo "no imported functions found"; fail=1; }
  known=$(grep -v '^#' "$functions")
  while read -r line; do
    if ! printf '%s\n' "$known" | grep -qxF "$line"; then
      echo "imported but not in $(basename "$functions"): $line"; fail=1
    fi
  done <<< "$used"
fi
name=$(printf '%s\n' "$dump" | sed -n 's/^Name\s*[0-9a-fA-F]* //p' | head -n1)
[ "$name" = "Quorin.dll" ] || { echo "export directory name: '$name'"; fail=1; }
exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[\s*[0-9]*\] //p' | sort)
expected=$(printf '%s\n' DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)
if [ "$exports" != "$expected" ]; then echo "exports:"; printf '%s\n' "$exports"; fail=1; fi
[ $fail = 0 ] && echo "imports: $(echo $imports)${functions:+ ($(printf '%s\n' "$used" | wc -l) functions, all in $(basename "$functions"))}; exports: $(echo $exports)"
exit $fail
