#!/usr/bin/env bash
# 200 TIFFs in a folder tree converted four at a time with GNU parallel, each run with a
# runtime folder of its own: every BMP is there and equal to its TIFF by pixels.
# Usage: TEST PROGRAM
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
command -v parallel >/dev/null || { echo "SKIP: GNU parallel is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for i in $(seq 1 200); do
  folder="$work/in/set$((i % 7))"
  mkdir -p "$folder"
  convert -size "$((8 + i % 13))x$((5 + i % 11))" "gradient:rgb($i,0,0)-rgb(0,$i,255)" \
    -depth 8 -type TrueColor "$folder/page$i.tif"
done
KESTRELIX=$1 "$here/../../scripts/convert-tree" "$work/in" "$work/out" 4
count=$(find "$work/out" -name '*.bmp' | wc -l)
[ "$count" -eq 200 ] || { echo "FAIL: $count of 200 BMP files"; exit 1; }
for tif in $(find "$work/in" -name '*.tif'); do
  bmp="$work/out/${tif#"$work/in/"}"
  bmp="${bmp%.tif}.bmp"
  differing=$(compare -metric AE "$tif" "$bmp" null: 2>&1 || true)
  [ "$differing" = "0" ] || { echo "FAIL: $bmp differs in $differing pixels"; exit 1; }
done
echo "1 passed, 0 failed"
