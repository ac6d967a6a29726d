#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the benchmark job: a background, a 640x480 picture scaled 1.3, turned 30 degrees at
# opacity 0.8, and a sprite on a pure green key gliding across, at 30 fps. SCALE multiplies
# every size and distance (1: 1280x720, 3: 3840x2160). Writes DIR/bench.pxp and its pictures.
#   bench/make_job.sh DIR [SCALE] [SECONDS]
set -euo pipefail
dir=$1
k=${2:-1}
seconds=${3:-4}
mkdir -p "$dir"
ffmpeg -loglevel error -y -f lavfi -i "testsrc2=size=$((1280 * k))x$((720 * k))" -frames:v 1 "$dir/bg.png"
ffmpeg -loglevel error -y -f lavfi -i "mandelbrot=size=$((640 * k))x$((480 * k))" -frames:v 1 "$dir/mid.png"
# The sprite is drawn in RGB so its green is exactly 0x00FF00 (a YUV source rounds it).
ffmpeg -loglevel error -y -f lavfi -i "color=c=0x00FF00:s=$((320 * k))x$((240 * k)),format=rgb24" \
  -vf "drawbox=x=$((80 * k)):y=$((40 * k)):w=$((160 * k)):h=$((160 * k)):color=0xC03020:t=fill,drawbox=x=$((120 * k)):y=$((80 * k)):w=$((80 * k)):h=$((80 * k)):color=0x2040E0:t=fill" \
  -frames:v 1 "$dir/sprite.png"

# The sprite glides from x +500 to -500 (frame centre based, positive x moves left).
p=$dir/bench.pxp
printf 'PELORIX_PROJECT:\r\nbench\r\nout,frame,png\r\n30.00,%d,%d\r\n' $((1280 * k)) $((720 * k)) >"$p"
printf '1,bg\r\n1,0\r\n0,0,0,0\r\n0,0\r\nbg.png\r\n%d.00,0,0,1,0,1,0,0\r\n1,\r\nLAYER_END:\r\n' "$seconds" >>"$p"
printf '2,mid\r\n1,1\r\n0,0,0,0\r\n0,0\r\nmid.png\r\n%d.00,0,0,1.3,30,0.8,0,0\r\n1,\r\nLAYER_END:\r\n' "$seconds" >>"$p"
printf '3,sprite\r\n1,2\r\n0,255,0,0\r\n0,0\r\nsprite.png\r\n%d.00,%d,0,1,0,1,0,0\r\n1,\r\nsprite.png\r\n0.00,%d,0,1,0,1,0,0\r\n1,\r\nLAYER_END:\r\nDATA_END:\r\n' \
  "$seconds" $((500 * k)) $((-500 * k)) >>"$p"
