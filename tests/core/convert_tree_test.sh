#!/usr/bin/env bash
# 2,000 TIFFs in a folder tree converted in four slices of 500, two runs at a time: every BMP
# is there, in its folder, and equal to its TIFF by pixels.
# Usage: TEST PROGRAM
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
command -v parallel >/dev/null || { echo "SKIP: GNU parallel is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Twenty different pictures, each copied a hundred times into seven folders.
mkdir -p "$work/pictures"
for i in $(seq 1 20); do
  convert -size "$((8 + i % 13))x$((5 + i % 11))" "gradient:rgb($((i * 12)),0,0)-rgb(0,$i,255)" \
    -depth 8 -type TrueColor "$work/pictures/$i.tif"
done
for i in $(seq 1 2000); do
  folder="$work/in/set$((i % 7))"
  mkdir -p "$folder"
  cp "$work/pictures/$((i % 20 + 1)).tif" "$folder/page$i.tif"
done
KESTRELIX=$1 "$here/../../scripts/convert-tree" "$work/in" "$work/out" 2 500
count=$(find "$work/out" -name '*.bmp' | wc -l)
[ "$count" -eq 2000 ] || { echo "FAIL: $count of 2000 BMP files"; exit 1; }
# Each picture's first BMP is compared by pixels; its copies' BMPs must equal that one.
declare -A checked
for i in $(seq 1 2000); do
  picture=$((i % 20 + 1))
  bmp="$work/out/set$((i % 7))/page$i.bmp"
  if [ -z "${checked[$picture]:-}" ]; then
    differing=$(compare -metric AE "$work/pictures/$picture.tif" "$bmp" null: 2>&1 || true)
    [ "$differing" = "0" ] || { echo "FAIL: $bmp differs in $differing pixels"; exit 1; }
    checked[$picture]=$bmp
  else
    cmp -s "${checked[$picture]}" "$bmp" || { echo "FAIL: $bmp differs from ${checked[$picture]}"; exit 1; }
  fi
done
# A file that cannot be converted is named.
echo "not a tiff" >"$work/in/set1/broken.tif"
if output=$(KESTRELIX=$1 "$here/../../scripts/convert-tree" "$work/in" "$work/out2" 2 500); then
  echo "FAIL: a broken file was not reported"; exit 1
fi
grep -q "^FAILED: ./set1/broken.tif: " <<<"$output" || { echo "FAIL: $output"; exit 1; }
echo "1 passed, 0 failed"
