#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The speed goals of composing once what stays the same, each against its peer in the same run
# with the two sides interleaved, and how the cost grows with the work:
#  - the 3-layer job (bench/make_job.sh) to JPEG at 1280x720 for 10 s against ffmpeg doing the
#    same, and against the encoder alone on the same frames (bench/encode_limit, all cores);
#  - the same at 3840x2160 for 2 s against ffmpeg;
#  - the preview redraws of the 8-layer 720p project (preview_bench): a full redraw, dragging
#    the top layer, dragging the bottom one; the same for the 4K project of 16 layers in a
#    1600x900 view, composed at the shown size, and against composing it at the frame's size;
#    and a project whose every layer moves, with reuse and without (render_bench);
#  - growth: per frame for 1, 4 and 16 moving layers; the job at 720p, 1080p, 4K and 8K; peak
#    memory at 300 and 9,000 frames, and of the 4K 16-layer project at 60 and 600; --jobs 1
#    and 2;
#  - peak memory of the MP4 and WebM renders against ffmpeg encoding the same job.
#   bench/speed.sh            RUNS=7 bench/speed.sh
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=bench/lib.sh
source bench/lib.sh
bench_start ffmpeg time bc
# shellcheck source=bench/ffmpeg_job.sh
source bench/ffmpeg_job.sh
export QT_QPA_PLATFORM=offscreen

export job=$work/job job4k=$work/job4k long=$work/long
bench/make_job.sh "$job" 1 10
bench/make_job.sh "$job4k" 3 2
bench/make_job.sh "$long" 1 300
export n=300 n4k=60

# The job against ffmpeg, and against the encoder alone.
jpg() { "$cli" render "$job/bench.pxp" -o "$work/o" --format jpg --quiet; }
ffjpg() { ffmpeg_job "$job" 1 10 "$n" "$work/o/f%04d.jpg"; }
pair jpg ffjpg
p=$(fps "$n" "$TIME_A")
row "JPEG 720p 10 s: fps vs ffmpeg" "$p" "$(fps "$n" "$TIME_B")" "$(ratio "$TIME_B" "$TIME_A")" ">=15"
"$cli" render "$job/bench.pxp" -o "$work/frames" --format bmp --quiet
limit=$(build/bench/encode_limit "$work/frames" jpg)
row "JPEG 720p: fps vs the encoder alone" "$p" "$limit" "$(ratio "$p" "$limit")" ">=0.70"
rm -rf "$work/frames"
jpg4k() { "$cli" render "$job4k/bench.pxp" -o "$work/o" --format jpg --quiet; }
ffjpg4k() { ffmpeg_job "$job4k" 3 2 "$n4k" "$work/o/f%04d.jpg"; }
pair jpg4k ffjpg4k
row "JPEG 4K 2 s: fps vs ffmpeg" "$(fps "$n4k" "$TIME_A")" "$(fps "$n4k" "$TIME_B")" \
  "$(ratio "$TIME_B" "$TIME_A")" ">=10"

# The preview, and a project where nothing can be reused.
median_ms() {  # median_ms BINARY FILTER
  "$1" --benchmark_filter="$2" --benchmark_repetitions="$runs" \
    --benchmark_report_aggregates_only=true 2>/dev/null | awk '/_median/ {print $2; exit}'
}
once_ms() { "$1" --benchmark_filter="$2" 2>/dev/null | awk '$1 ~ /^BM_/ {print $2; exit}'; }
for case_line in "0|full redraw|10" "1|dragging the top layer|3" "2|dragging the bottom layer|10"; do
  IFS='|' read -r edit what goal <<<"$case_line"
  ms=$(median_ms build/bench/preview_bench "BM_PreviewRedraw/threads:2/edit:$edit/")
  row "preview 8 layers 720p: $what (ms)" "$ms" "$goal" "$(ratio "$ms" "$goal")" "<=1"
done
# The 4K project of 16 layers in a 1600x900 view, composed at the shown size; and the same
# redraw composed at the frame's size and stretched, as the preview did before.
for case_line in "0|full redraw|16" "1|dragging the top layer|4" "2|dragging the bottom layer|16"; do
  IFS='|' read -r edit what goal <<<"$case_line"
  ms=$(median_ms build/bench/preview_bench "BM_BigPreview/view:1/edit:$edit/")
  row "preview 16 layers 4K in 1600x900: $what (ms)" "$ms" "$goal" "$(ratio "$ms" "$goal")" "<=1"
done
at=$(median_ms build/bench/preview_bench "BM_BigPreview/view:1/edit:0/")
full=$(median_ms build/bench/preview_bench "BM_BigPreview/view:0/edit:0/")
row "preview 16 layers 4K: shown size vs frame size (ms)" "$at" "$full" "$(ratio "$at" "$full")" "<=0.5"
ons=() offs=()
for _ in $(seq "$runs"); do
  ons+=("$(once_ms build/bench/render_bench "Moving.*/layers:8/reuse:1/keyed:0")")
  offs+=("$(once_ms build/bench/render_bench "Moving.*/layers:8/reuse:0/keyed:0")")
done
on=$(printf '%s\n' "${ons[@]}" | median)
off=$(printf '%s\n' "${offs[@]}" | median)
row "every layer moving, 8 layers: reuse on vs off (ms)" "$on" "$off" "$(ratio "$on" "$off")" "<=1.03"

# How the cost grows.
growth=()
one=""
for layers in 1 4 16; do
  ms=$(median_ms build/bench/render_bench "Moving.*/layers:$layers/reuse:1/keyed:0")
  [ -z "$one" ] && one=$ms
  growth+=("$(printf '%-44s %10s ms %8sx' "$layers moving layers, 720p, per frame" "$ms" "$(ratio "$ms" "$one")")")
done
base="" baseframe=""
for size in 1280x720 1920x1080 3840x2160 7680x4320; do
  w=${size%x*}
  h=${size#*x}
  export size
  sized() { "$cli" render "$job/bench.pxp" -o "$work/o" --format jpg --frames 0-59 --size "$size" --quiet; }
  # Once for the pictures in the page cache, then the median.
  sized >/dev/null 2>&1 || true
  pair sized sized
  per=$(echo "$TIME_A / 60 * 1000" | bc -l | xargs printf '%.2f')
  mp=$(echo "$w * $h / 1000000" | bc -l)
  perpixel=$(echo "$per / $mp" | bc -l | xargs printf '%.2f')
  [ -z "$base" ] && base=$perpixel baseframe=$per
  growth+=("$(printf '%-44s %10s ms %8sx  (%s ms per megapixel, %sx)' \
    "3-layer job $size JPEG, per frame" "$per" "$(ratio "$per" "$baseframe")" "$perpixel" \
    "$(ratio "$perpixel" "$base")")")
done
short() { "$cli" render "$job/bench.pxp" -o "$work/o" --format jpg --quiet; }
longrun() { "$cli" render "$long/bench.pxp" -o "$work/o" --format jpg --quiet; }
pair short longrun
growth+=("$(printf '%-44s %10s MiB %7sx' "peak memory, 300 frames" "$PEAK_A" "1.00")")
growth+=("$(printf '%-44s %10s MiB %7sx' "peak memory, 9000 frames" "$PEAK_B" "$(ratio "$PEAK_B" "$PEAK_A")")")
# The 4K project of 16 layers (playback_bench's, every layer gliding) for 2 s and for 20 s, once
# each (the long one takes minutes).
big2=$(PELORIX_BENCH_PROJECT=big.pxp build/bench/playback_bench 3840 2160 2 2 16)
big20=$(PELORIX_BENCH_PROJECT=big.pxp build/bench/playback_bench 3840 2160 20 2 16)
export big2 big20
bigshort() { "$cli" render "$big2" -o "$work/o/f" --format jpg --quiet; }
biglong() { "$cli" render "$big20" -o "$work/o/f" --format jpg --quiet; }
read -r _ short_peak < <(once bigshort)
read -r _ long_peak < <(once biglong)
growth+=("$(printf '%-44s %10s MiB %7sx' "4K 16 layers: peak memory, 60 frames" "$((short_peak / 1024))" "1.00")")
growth+=("$(printf '%-44s %10s MiB %7sx' "4K 16 layers: peak memory, 600 frames" "$((long_peak / 1024))" "$(ratio "$long_peak" "$short_peak")")")
rm -rf "$(dirname "$big2")" "$(dirname "$big20")"
jobs1() { "$cli" render "$job/bench.pxp" -o "$work/o" --format jpg --quiet --jobs 1; }
jobs2() { "$cli" render "$job/bench.pxp" -o "$work/o" --format jpg --quiet --jobs 2; }
pair jobs1 jobs2
growth+=("$(printf '%-44s %10s fps' "--jobs 1" "$(fps "$n" "$TIME_A")")")
growth+=("$(printf '%-44s %10s fps %7sx' "--jobs 2" "$(fps "$n" "$TIME_B")" "$(ratio "$TIME_A" "$TIME_B")")")

# Memory of video renders against ffmpeg with the same encoder and settings.
mp4() { "$cli" render "$job/bench.pxp" -o "$work/o/a.mp4" --quiet; }
ffmp4() { ffmpeg_job "$job" 1 10 "$n" -c:v libx264 -preset veryfast -crf 23 -pix_fmt yuv420p "$work/o/a.mp4"; }
pair mp4 ffmp4
row "MP4 720p: peak memory vs ffmpeg (MiB)" "$PEAK_A" "$PEAK_B" "$(ratio "$PEAK_A" "$PEAK_B")" "<=1"
webm() { "$cli" render "$job/bench.pxp" -o "$work/o/a.webm" --quiet; }
ffwebm() {
  ffmpeg_job "$job" 1 10 "$n" -c:v libvpx-vp9 -crf 31 -b:v 0 -deadline realtime -cpu-used 8 \
    -row-mt 1 -lag-in-frames 0 -pix_fmt yuv420p "$work/o/a.webm"
}
pair webm ffwebm
row "WebM 720p: peak memory vs ffmpeg (MiB)" "$PEAK_A" "$PEAK_B" "$(ratio "$PEAK_A" "$PEAK_B")" "<=1"

echo
print_rows
echo
echo "How the cost grows (ratio to the smallest):"
printf '%s\n' "${growth[@]}"
