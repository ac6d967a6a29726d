#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The goals of blend modes and moving sources, each against its peer in the same run, the two
# sides interleaved: a blend mode on the rotated middle layer of the 3-layer 720p job against
# the normal mode, and the job with a 720p 30 fps H.264 video as its background against ffmpeg
# doing the same composition with the video as its input.
#   bench/creative.sh            RUNS=7 bench/creative.sh
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=bench/lib.sh
source bench/lib.sh
bench_start ffmpeg time bc
# shellcheck source=bench/ffmpeg_job.sh
source bench/ffmpeg_job.sh
export job=$work/job
bench/make_job.sh "$job" 1 4
n=$("$cli" info --json "$job/bench.pxp" | grep -o '"frames":[0-9]*' | cut -d: -f2)

# A blend mode (multiply, effects 1 + 2 * 8) on the middle layer.
sed '/^2,mid/{n;s/^1,1\r$/1,17\r/}' "$job/bench.pxp" >"$job/mode.pxp"
grep -q $'^1,17\r$' "$job/mode.pxp" || { echo "the mode project was not made" >&2; exit 1; }
normal() { "$cli" render "$job/bench.pxp" -o "$work/o" --format jpg --quiet; }
mode() { "$cli" render "$job/mode.pxp" -o "$work/o" --format jpg --quiet; }
pair mode normal
row "multiply vs normal, 720p job (time)" "$TIME_A" "$TIME_B" "$(ratio "$TIME_A" "$TIME_B")" "<=1.15"

# The background as a 720p 30 fps H.264 video of the job's length.
ffmpeg -loglevel error -y -f lavfi -i "testsrc2=size=1280x720:rate=30" -t 4 -c:v libx264 \
  -preset veryfast -pix_fmt yuv420p "$job/bg.mp4"
sed 's/^bg\.png\r$/bg.mp4\r/' "$job/bench.pxp" >"$job/video.pxp"
video() { "$cli" render "$job/video.pxp" -o "$work/o" --format jpg --quiet; }
ffvideo() {
  ffmpeg -loglevel error -y -i "$job/bg.mp4" \
    -loop 1 -framerate 30 -t 4 -i "$job/mid.png" -loop 1 -framerate 30 -t 4 -i "$job/sprite.png" \
    -filter_complex "[1:v]scale=iw*1.3:ih*1.3,format=rgba,rotate=30*PI/180:ow=rotw(30*PI/180):oh=roth(30*PI/180):c=none,colorchannelmixer=aa=0.8[mid];[2:v]colorkey=0x00FF00:0.01:0[spr];[0:v][mid]overlay=(W-w)/2:(H-h)/2[a];[a][spr]overlay=x='(W-w)/2-500+1000*t/4':y=(H-h)/2[out]" \
    -map "[out]" -frames:v "$n" "$work/o/f%04d.jpg"
}
export n
pair video ffvideo
row "video background: fps vs ffmpeg" "$(fps "$n" "$TIME_A")" "$(fps "$n" "$TIME_B")" \
  "$(ratio "$TIME_B" "$TIME_A")" ">=4"
row "video background: peak memory (MiB)" "$PEAK_A" "150" "$(ratio "$PEAK_A" 150)" "<=1"

echo
print_rows
