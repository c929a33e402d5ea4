#!/bin/bash
# The user guide's pictures of the four relations, from the demo host's scripted walk-through:
# a scheme with one source per relation, so that the wizard's source list shows every relation
# image. Writes docs/guide/sources-relations.png (the wizard's second page) and
# docs/guide/relation-1.png ... relation-8.png (each relation's image from that page, enlarged).
#   guide-pictures.sh BUILD_DIR        (BUILD_DIR: the x86_64 build, e.g. build/x86_64)
set -u
. "$(dirname "$0")/demo-env.sh"
out="$build/guide-pictures"
rm -rf "$out"
mkdir -p "$out"
cat > "$build/guide-walkthrough.sh" <<SCRIPT
"$build/wine-run" regsvr32 /s "$(winpath "$dll")" || exit 1
"$build/wine-run" "$(winpath "$exe")" --script --city \\
  --target-layer "Кварталы" --target-table "Кварталы" --target-field "Население" \\
  --source "Дороги|Дороги.Полос|intersects" --source "Здания|Здания.Жители|inside" \\
  --source "Районы|area|contains" --source "Парки|Парки.Название|touches" \\
  --function count --out "$(winpath "$out")"
rc=\$?
"$build/wine-run" regsvr32 /s /u "$(winpath "$dll")"
exit \$rc
SCRIPT
bash "$here/with-display.sh" "$build" bash "$build/guide-walkthrough.sh" >/dev/null || {
  echo "guide-pictures: the walk-through failed" >&2; exit 1; }
dest="$root/docs/guide"
mkdir -p "$dest"
convert "$out/wizard-3-sources.bmp" -strip "$dest/sources-relations.png" || exit 1
# The rows of the source list, in the order of the sources above: relation codes 1, 2, 4, 8.
# Each row's image is 16 x 16 pixels at the list's left edge (see the page picture).
row=0
for code in 1 2 4 8; do
  y=$((146 + row * 17))
  convert "$out/wizard-3-sources.bmp" -crop "16x16+18+$y" +repage -scale 400% -strip \
    "$dest/relation-$code.png" || exit 1
  row=$((row + 1))
done
ls -l "$dest"
