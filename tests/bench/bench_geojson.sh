#!/bin/bash
# bench_geojson's driver (cmake/bench.sh runs it for the program): generates the inputs once into
# <build>/bench/geojson (about 290 MB), runs the program on each under wine and GEOS on the same
# files, and prints both and their ratio.
#   bench_geojson.sh BUILD_DIR PROGRAM
set -u -o pipefail
build=$1
program=$2
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
inputs="$build/bench/geojson"
mkdir -p "$inputs"
"$python" "$here/geojson_inputs.py" make "$inputs" || exit 1
names=(ring-10k ring-100k ring-1m ring-2m points-1m)
positions=(10000 100000 1000000 2000000 1000000)
args=()
for name in "${names[@]}"; do args+=("Z:$inputs/$name"); done
ours=$("$build/wine-run" "$program" "${args[@]}" | tr -d '\r') || { echo "$ours"; exit 1; }
theirs=$("$python" "$here/geojson_inputs.py" geos "${names[@]/#/$inputs/}") || exit 1
echo "OrvexSim: load = the host's load of the folder (parsing, shapes, validity, orientation, bounds, area);"
echo "          map = catalogue and the map's shapes; draw = first drawing (1000 x 800); query = R-tree and one intersects"
echo "GEOS:     build + validity + area + query (shapely $("$python" -c 'import shapely; print(shapely.__version__)'));"
echo "          Python's JSON read shown apart; ratio = OrvexSim's load / GEOS's work, and / GEOS's work with the read"
printf '%-10s %10s | %7s %6s %6s %7s %7s | %6s %6s %6s %6s %7s %7s | %6s %6s | %s\n' input positions \
  load map draw query total read build valid area query work ratio "+read" "areas, count (OrvexSim / GEOS)"
for i in "${!names[@]}"; do
  o=($(echo "$ours" | sed -n "$((i + 1))p"))
  g=($(echo "$theirs" | sed -n "$((i + 1))p"))
  awk -v n="${names[$i]}" -v p="${positions[$i]}" -v load="${o[1]}" -v map="${o[2]}" -v draw="${o[3]}" -v q="${o[4]}" \
      -v oa="${o[5]}" -v oc="${o[6]}" -v read="${g[1]}" -v build="${g[2]}" -v valid="${g[3]}" -v area="${g[4]}" \
      -v gq="${g[5]}" -v ga="${g[6]}" -v gc="${g[7]}" 'BEGIN {
    work = build + valid + area + gq
    printf "%-10s %10d | %7.3f %6.3f %6.3f %7.4f %7.3f | %6.3f %6.3f %6.3f %6.3f %7.4f %7.3f | %6.1f %6.2f | %.1f / %.1f, %d / %d\n",
      n, p, load, map, draw, q, load + map + draw + q, read, build, valid, area, gq, work,
      load / (work > 0 ? work : 0.001), load / (work + read), oa, ga, oc, gc }'
done
