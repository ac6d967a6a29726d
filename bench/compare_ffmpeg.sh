#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders one 3-layer 1280x720 animation at 30 fps with pelorix-cli and with ffmpeg doing the
# same composition, to PNG and to JPEG sequences, five times each in the same run, and reports
# the median frames per second and peak memory of both.
#   bench/compare_ffmpeg.sh [SECONDS_OF_ANIMATION]     (default 4: 120 frames)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-4}
runs=5
PELORIX_EXTRA_PACKAGES="ffmpeg time bc" scripts/setup-deps.sh
scripts/build.sh plain >/dev/null
cli=$PWD/build/src/cli/pelorix-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
frames=$((seconds * 30))

# The pictures: a background, a 640x480 picture, a 320x240 sprite on pure green.
ffmpeg -loglevel error -f lavfi -i testsrc2=size=1280x720 -frames:v 1 "$work/bg.png"
ffmpeg -loglevel error -f lavfi -i mandelbrot=size=640x480 -frames:v 1 "$work/mid.png"
# The sprite is drawn in RGB so its green is exactly 0x00FF00 (a YUV source rounds it).
ffmpeg -loglevel error -f lavfi -i "color=c=0x00FF00:s=320x240,format=rgb24" \
  -vf "drawbox=x=80:y=40:w=160:h=160:color=0xC03020:t=fill,drawbox=x=120:y=80:w=80:h=80:color=0x2040E0:t=fill" \
  -frames:v 1 "$work/sprite.png"

# The same animation as a project: the sprite glides from x +500 to -500 (frame centre based,
# positive x moves left) over the animation.
printf 'PELORIX_PROJECT:\r\nbench\r\nout,frame,png\r\n30.00,1280,720\r\n' >"$work/bench.pxp"
printf '1,bg\r\n1,0\r\n0,0,0,0\r\n0,0\r\nbg.png\r\n%d.00,0,0,1,0,1,0,0\r\n1,\r\nLAYER_END:\r\n' "$seconds" >>"$work/bench.pxp"
printf '2,mid\r\n1,1\r\n0,0,0,0\r\n0,0\r\nmid.png\r\n%d.00,0,0,1.3,30,0.8,0,0\r\n1,\r\nLAYER_END:\r\n' "$seconds" >>"$work/bench.pxp"
printf '3,sprite\r\n1,2\r\n0,255,0,0\r\n0,0\r\nsprite.png\r\n%d.00,500,0,1,0,1,0,0\r\n1,\r\nsprite.png\r\n0.00,-500,0,1,0,1,0,0\r\n1,\r\nLAYER_END:\r\nDATA_END:\r\n' "$seconds" >>"$work/bench.pxp"

ffmpeg_run() {  # ffmpeg_run EXT OUTDIR
  ffmpeg -loglevel error -y \
    -loop 1 -framerate 30 -t "$seconds" -i "$work/bg.png" \
    -loop 1 -framerate 30 -t "$seconds" -i "$work/mid.png" \
    -loop 1 -framerate 30 -t "$seconds" -i "$work/sprite.png" \
    -filter_complex "[1:v]scale=iw*1.3:ih*1.3,format=rgba,rotate=30*PI/180:ow=rotw(30*PI/180):oh=roth(30*PI/180):c=none,colorchannelmixer=aa=0.8[mid];[2:v]colorkey=0x00FF00:0.01:0[spr];[0:v][mid]overlay=(W-w)/2:(H-h)/2[a];[a][spr]overlay=x='(W-w)/2-500+1000*t/$seconds':y=(H-h)/2[out]" \
    -map "[out]" -frames:v "$frames" "$2/ff%04d.$1"
}

pelorix_run() {  # pelorix_run EXT OUTDIR
  "$cli" render "$work/bench.pxp" --format "$1" -o "$2" --quiet
}

# measure NAME EXT: prints "median_fps peak_kib"
measure() {
  local tool=$1 ext=$2 i out times=() peaks=()
  for i in $(seq $runs); do
    out=$work/out-$tool-$ext-$i
    mkdir -p "$out"
    /usr/bin/time -f "%e %M" -o "$work/time" bash -c "$(declare -f ffmpeg_run pelorix_run); work='$work' seconds=$seconds frames=$frames cli='$cli' ${tool}_run $ext '$out'"
    read -r t m <"$work/time"
    times+=("$t")
    peaks+=("$m")
    count=$(ls "$out" | wc -l)
    rm -rf "$out"
  done
  local median peak
  median=$(printf '%s\n' "${times[@]}" | sort -g | sed -n "$(((runs + 1) / 2))p")
  peak=$(printf '%s\n' "${peaks[@]}" | sort -g | tail -1)
  echo "$(echo "$count / $median" | bc -l | xargs printf '%.1f') $peak $count $median"
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
echo "animation: 1280x720, 30 fps, $seconds s, 3 layers; median of $runs runs"
printf '%-6s %-8s %10s %12s %8s %10s\n' format tool fps peak_MiB frames median_s
for ext in jpg png; do
  for tool in ffmpeg pelorix; do
    read -r fps peak count median <<<"$(measure $tool $ext)"
    printf '%-6s %-8s %10s %12s %8s %10s\n' "$ext" "$tool" "$fps" "$((peak / 1024))" "$count" "$median"
    eval "${tool}_${ext}=$fps"
  done
  echo "$ext: pelorix / ffmpeg = $(echo "$(eval echo \$pelorix_$ext) / $(eval echo \$ffmpeg_$ext)" | bc -l | xargs printf '%.2f')"
done
