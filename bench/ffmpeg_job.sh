# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the benchmark scripts.
# The ffmpeg job: the same composition as the project (scale, rotation, opacity, colour key,
# the sprite's glide), with the output options given.
ffmpeg_job() {  # ffmpeg_job DIR SCALE SECONDS FRAMES OUTPUT-OPTIONS...
  local dir=$1 k=$2 seconds=$3 frames=$4
  shift 4
  ffmpeg -loglevel error -y \
    -loop 1 -framerate 30 -t "$seconds" -i "$dir/bg.png" \
    -loop 1 -framerate 30 -t "$seconds" -i "$dir/mid.png" \
    -loop 1 -framerate 30 -t "$seconds" -i "$dir/sprite.png" \
    -filter_complex "[1:v]scale=iw*1.3:ih*1.3,format=rgba,rotate=30*PI/180:ow=rotw(30*PI/180):oh=roth(30*PI/180):c=none,colorchannelmixer=aa=0.8[mid];[2:v]colorkey=0x00FF00:0.01:0[spr];[0:v][mid]overlay=(W-w)/2:(H-h)/2[a];[a][spr]overlay=x='(W-w)/2-$((500 * k))+$((1000 * k))*t/$seconds':y=(H-h)/2${FILTER_TAIL:-}[out]" \
    -map "[out]" -frames:v "$frames" "$@"
}
export -f ffmpeg_job
