#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Seed corpora for the fuzz targets from the demo project and its pictures.
#   fuzz/make_seeds.sh BUILD_DIR_WITH_PELORIX_CLI OUT_DIR
set -euo pipefail
cli=$1/src/cli/pelorix-cli
out=$2
src=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out/project" "$out/bmp" "$out/image"
cp "$src/examples/demo/demo.pxp" "$out/project/"
"$cli" save-as "$src/examples/demo/demo.pxp" "$out/project/demo-cp932.pxp" --encoding cp932
cp "$src/examples/demo/"*.bmp "$out/bmp/"
for ext in bmp png jpg gif webp tif; do
  "$cli" convert "$src/examples/demo/sprite1.bmp" "$out/image/sprite.$ext" 2>/dev/null
done
cp "$src/examples/demo/logo.png" "$out/image/"
# Animations, each behind the byte that chooses its decoder (0 GIF, 1 WebP, 2 APNG), and a part
# of a render of each.
mkdir -p "$out/moving"
kind=0
for ext in gif webp apng; do
  "$cli" render "$src/examples/demo/demo.pxp" -o "$out/moving/anim.$ext" --frames 0-3 --size 64x48 \
    --allow-gif --quiet
  { printf "\\$(printf '%03o' $kind)"; cat "$out/moving/anim.$ext"; } >"$out/moving/seed-$ext"
  rm "$out/moving/anim.$ext"
  kind=$((kind + 1))
done
