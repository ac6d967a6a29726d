#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The goals of the export options, each against its peer in the same run, the two sides
# interleaved (A B A B ...):
#  - MP4 of the 3-layer 720p job with a 3-minute stereo 48 kHz sound track (MP3) against the same
#    render without sound;
#  - H.265 and AV1 at their default presets against ffmpeg composing the same job and encoding it
#    with the same encoder and settings;
#  - animated GIF and APNG (changed rectangles) against ffmpeg (palettegen stats_mode=single with
#    paletteuse new=1; its APNG encoder with -pred mixed): bytes, speed and PSNR against each
#    side's own lossless frames, on the demo (ffmpeg encodes Pelorix's frames) and on the job.
#   bench/export.sh            RUNS=7 bench/export.sh
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=bench/lib.sh
source bench/lib.sh
bench_start ffmpeg time bc
# shellcheck source=bench/ffmpeg_job.sh
source bench/ffmpeg_job.sh
export job=$work/job seconds=4
bench/make_job.sh "$job" 1 "$seconds"
export n=$((seconds * 30))

# Sound: three minutes of stereo at 48 kHz.
ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=180" \
  -f lavfi -i "sine=frequency=660:sample_rate=48000:duration=180" \
  -filter_complex "[0:a][1:a]join=inputs=2:channel_layout=stereo" -c:a libmp3lame -b:a 192k \
  "$job/sound.mp3"
silent() { "$cli" render "$job/bench.pxp" -o "$work/o/job.mp4" --quiet; }
sound() { "$cli" render "$job/bench.pxp" -o "$work/o/job.mp4" --audio "$job/sound.mp3" --quiet; }
pair sound silent
row "MP4 with a 3-minute sound track vs without (speed)" "$(fps "$n" "$TIME_A")" \
  "$(fps "$n" "$TIME_B")" "$(ratio "$TIME_B" "$TIME_A")" ">=0.95"

# H.265 and AV1 with the settings Pelorix uses by default.
h265() { "$cli" render "$job/bench.pxp" -o "$work/o/job.mp4" --codec h265 --quiet; }
ffh265() {
  ffmpeg_job "$job" 1 "$seconds" "$n" -c:v libx265 -preset fast -crf 28 -pix_fmt yuv420p \
    -x265-params log-level=error -tag:v hvc1 "$work/o/job.mp4"
}
pair h265 ffh265
row "H.265 fps vs ffmpeg (x265 fast, CRF 28)" "$(fps "$n" "$TIME_A")" "$(fps "$n" "$TIME_B")" \
  "$(ratio "$TIME_B" "$TIME_A")" ">=1.2"
av1() { "$cli" render "$job/bench.pxp" -o "$work/o/job.mp4" --codec av1 --quiet; }
ffav1() {
  SVT_LOG=1 ffmpeg_job "$job" 1 "$seconds" "$n" -c:v libsvtav1 -preset 10 -crf 35 \
    -pix_fmt yuv420p "$work/o/job.mp4"
}
pair av1 ffav1
row "AV1 fps vs ffmpeg (SVT-AV1 preset 10, CRF 35)" "$(fps "$n" "$TIME_A")" "$(fps "$n" "$TIME_B")" \
  "$(ratio "$TIME_B" "$TIME_A")" ">=1.2"

# psnr FILE REFERENCE-PATTERN SIZE: the mean PSNR of every frame against the reference frames.
psnr() {
  ffmpeg -loglevel error -y -i "$1" -vsync 0 -f rawvideo -pix_fmt rgb24 "$work/a.raw"
  ffmpeg -loglevel error -y -i "$2" -f rawvideo -pix_fmt rgb24 "$work/b.raw"
  ffmpeg -f rawvideo -s "$3" -pix_fmt rgb24 -i "$work/a.raw" -f rawvideo -s "$3" -pix_fmt rgb24 \
    -i "$work/b.raw" -lavfi psnr -f null - 2>&1 | grep -o 'average:[0-9.inf]*' | cut -d: -f2
}

# The demo: ffmpeg encodes Pelorix's frames of it; the job: each side composes its own.
export demo=$PWD/examples/demo/demo.pxp
"$cli" render "$demo" -o "$work/demo" --quiet
"$cli" render "$job/bench.pxp" -o "$work/jobframes" --quiet
mkdir -p "$work/ffframes"
ffmpeg_job "$job" 1 "$seconds" "$n" "$work/ffframes/f%04d.png"
export palette=",split[s0][s1];[s0]palettegen=stats_mode=single[p];[s1][p]paletteuse=new=1"
demo_gif() { "$cli" render "$demo" -o "$work/o/a.gif" --allow-gif --quiet; }
ffdemo_gif() {
  ffmpeg -loglevel error -y -framerate 12 -i "$work/demo/frame%04d.png" \
    -lavfi "${palette:1}" "$work/o/a.gif"
}
demo_apng() { "$cli" render "$demo" -o "$work/o/a.apng" --quiet; }
ffdemo_apng() {
  ffmpeg -loglevel error -y -framerate 12 -i "$work/demo/frame%04d.png" -f apng -pred mixed \
    -plays 0 "$work/o/a.apng"
}
job_gif() { "$cli" render "$job/bench.pxp" -o "$work/o/a.gif" --allow-gif --quiet; }
ffjob_gif() { FILTER_TAIL=$palette ffmpeg_job "$job" 1 "$seconds" "$n" "$work/o/a.gif"; }
job_apng() { "$cli" render "$job/bench.pxp" -o "$work/o/a.apng" --quiet; }
ffjob_apng() {
  ffmpeg_job "$job" 1 "$seconds" "$n" -f apng -pred mixed -plays 0 "$work/o/a.apng"
}
for case_line in "demo gif 320x240 demo/frame%04d.png demo/frame%04d.png 37" \
            "demo apng 320x240 demo/frame%04d.png demo/frame%04d.png 37" \
            "job gif 1280x720 jobframes/frame%04d.png ffframes/f%04d.png $n" \
            "job apng 1280x720 jobframes/frame%04d.png ffframes/f%04d.png $n"; do
  read -r what type size ours theirs frames <<<"$case_line"
  pair "${what}_$type" "ff${what}_$type"
  "${what}_$type" && cp "$work/o/a.$type" "$work/ours.$type"
  "ff${what}_$type" && cp "$work/o/a.$type" "$work/theirs.$type"
  row "$what $type: bytes vs ffmpeg" "$BYTES_A" "$BYTES_B" "$(ratio "$BYTES_A" "$BYTES_B")" "<=1"
  row "$what $type: fps vs ffmpeg" "$(fps "$frames" "$TIME_A")" "$(fps "$frames" "$TIME_B")" \
    "$(ratio "$TIME_B" "$TIME_A")" ">=3"
  a=$(psnr "$work/ours.$type" "$work/$ours" "$size")
  b=$(psnr "$work/theirs.$type" "$work/$theirs" "$size")
  if [ "$a" = inf ] && [ "$b" = inf ]; then
    row "$what $type: PSNR (dB) vs ffmpeg" inf inf 1.00 ">=1"
  else
    [ "$a" = inf ] && a=99
    row "$what $type: PSNR (dB) vs ffmpeg" "$a" "$b" "$(ratio "$a" "$b")" ">=1"
  fi
done

echo
print_rows
