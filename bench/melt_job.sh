# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the benchmark scripts.
# The melt job (MLT, Debian's melt): the same composition as the project, made by MLT's own
# parts: three picture tracks, the middle one placed by the affine transition (scaled 1.3,
# turned 30 degrees, opacity 0.8), the sprite keyed by the chroma filter and gliding by a
# keyed affine rectangle. real_time=-2: two render threads that drop no frame. Each frame MLT
# converts the pictures to its frame format, transforms the two upper tracks with affine and
# keys the sprite, then hands the frame to libavcodec (mjpeg, or libx264 for MP4).
melt_job() {  # melt_job DIR SCALE FRAMES OUTPUT CONSUMER-OPTIONS...
  local dir=$1 k=$2 frames=$3 out=$4
  shift 4
  local last=$((frames - 1)) w=$((1280 * k)) h=$((720 * k))
  local mw=$((832 * k)) mh=$((624 * k)) sw=$((320 * k)) sh=$((240 * k))
  local mx=$(((w - mw) / 2)) my=$(((h - mh) / 2)) sy=$(((h - sh) / 2))
  local sx0=$(((w - sw) / 2 - 500 * k)) sx1=$(((w - sw) / 2 + 500 * k))
  melt -silent -profile atsc_720p_30 \
    "$dir/bg.png" out=$last \
    -track "$dir/mid.png" out=$last \
    -track "$dir/sprite.png" out=$last -attach chroma key=0x00ff00ff variance=0.15 \
    -transition affine a_track=0 b_track=1 out=$last rect="$mx $my $mw $mh 0.8" fix_rotate_x=30 \
    fill=1 distort=1 \
    -transition affine a_track=0 b_track=2 out=$last rect="0=$sx0 $sy $sw $sh 1;$last=$sx1 $sy $sw $sh 1" \
    fill=1 distort=1 \
    -consumer "avformat:$out" real_time=-2 width=$w height=$h "$@" 2>/dev/null
}
export -f melt_job
