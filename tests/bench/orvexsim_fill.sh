#!/bin/bash
# The demo host's large fill (cmake/bench.sh runs it for each build): OrvexSim's scripted mode,
# minimised, fills a layer of 10,000, 100,000 and 1,000,000 points with the count of the squares
# of a layer of 100 that intersect each point, through the build's registered Quorin.dll. For
# each it prints the wall time of OrvexSim's whole run (start, load, walk-through, fill, pictures
# of the map, result files, exit) and of the fill alone as the walk-through saw it, the peak
# resident memory of OrvexSim's process, and the values checked against counts computed here.
# The inputs are generated once into <build>/bench/orvexsim-fill.
#   orvexsim_fill.sh BUILD_DIR
# ORVEXSIM_FILL_SIZES="10000 100000" runs other sizes; ORVEXSIM_FILL_SHOWN=1 runs each size with
# the windows shown too (the wizard paints its progress: several times longer).
set -u -o pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
helper="$here/orvexsim_fill.py"
arch=$(sed -n 's/^QUORIN_ARCH=//p' "$build/wine-env")
exe="$build/hostsim/demo/OrvexSim.exe"
dll="$build/module/Quorin.dll"
for f in "$exe" "$dll"; do [ -f "$f" ] || { echo "$f is missing" >&2; exit 1; }; done
sizes=(${ORVEXSIM_FILL_SIZES:-10000 100000 1000000})
modes=(minimised)
[ "${ORVEXSIM_FILL_SHOWN:-0}" = 1 ] && modes=(shown minimised)
inputs="$build/bench/orvexsim-fill"
"$build/wine-run" regsvr32 /s "Z:$dll" || { echo "regsvr32 failed" >&2; exit 1; }
trap '"$build/wine-run" regsvr32 /s /u "Z:$dll"' EXIT
status=0
printf '%-9s %-9s %9s %9s %12s %9s  %s\n' targets mode "run, s" "fill, s" "fill/target" "peak, MB" values
declare -A per_target peak
for n in "${sizes[@]}"; do
  "$python" "$helper" make "$inputs/$n" "$n" || exit 1
  for mode in "${modes[@]}"; do
    out="$inputs/out-$n-$mode"
    rm -rf "$out"
    extra=()
    [ "$mode" = minimised ] && extra=(--minimised)
    log=$("$python" "$helper" measure "$build/wine-run" "Z:$exe" --script --data "Z:$inputs/$n" \
      --target-layer targets --target-table targets --target-field n --source "squares|area|intersects" \
      --function count --out "Z:$out" --timeout 86400 "${extra[@]}" | tr -d '\r')
    read -r seconds peak_kb code <<<"$(echo "$log" | tail -n 1)"
    fill=$(echo "$log" | sed -n 's/^fill run: \([0-9.]*\) s$/\1/p')
    if [ "$code" != 0 ]; then
      echo "$log" >&2
      values="OrvexSim failed (exit code $code)"
      status=1
    else
      values=$("$python" "$helper" check "$inputs/$n" "$out/result.csv") || status=1
    fi
    awk -v n="$n" -v m="$mode" -v s="$seconds" -v f="${fill:-0}" -v p="$peak_kb" -v v="$values" 'BEGIN {
      printf "%-9d %-9s %9.1f %9.1f %9.1f µs %9.0f  %s\n", n, m, s, f, f / n * 1e6, p / 1024, v }'
    if [ "$mode" = minimised ]; then
      per_target[$n]=$(awk -v f="${fill:-0}" -v n="$n" 'BEGIN { print f / n }')
      peak[$n]=$peak_kb
    fi
    rm -rf "$out"
  done
done
# The goals: at a million targets, the time per target within 1.5 times that at 10,000, and on
# i686 less than 400 MB at the peak.
if [ -n "${per_target[1000000]:-}" ] && [ -n "${per_target[10000]:-}" ]; then
  awk -v a="${per_target[10000]}" -v b="${per_target[1000000]}" 'BEGIN {
    printf "fill time per target, 1,000,000 / 10,000: %.2f (goal: at most 1.5)\n", b / a }'
  [ "$arch" = i686 ] && awk -v p="${peak[1000000]}" 'BEGIN {
    printf "peak memory at 1,000,000 targets: %.0f MB (goal: under 400 MB)\n", p / 1024 }'
fi
exit $status
