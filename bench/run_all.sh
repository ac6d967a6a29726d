#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every speed goal of Pelorix in one table, each against its peer measured in the same run:
# ffmpeg doing the same job, the encoder alone on the same frames, or Pelorix itself with other
# settings. Whole jobs are the 3-layer animation of bench/make_job.sh at 30 fps; every figure is
# the median of RUNS runs (default 5). Run it on a quiet machine; it takes 15-25 minutes.
#   bench/run_all.sh                RUNS=7 bench/run_all.sh
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-5}
PELORIX_EXTRA_PACKAGES="ffmpeg time bc melt" scripts/setup-deps.sh
scripts/build.sh plain >/dev/null
cli=$PWD/build/src/cli/pelorix-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rows=()

# timed NAME COMMAND...: runs the command RUNS times (output folder $work/o emptied before
# each) and sets TIME (median seconds), PEAK (largest peak RSS, MiB) and BYTES (the output's
# size after the last run).
timed() {
  local times=() peaks=() i
  for i in $(seq "$runs"); do
    rm -rf "$work/o"
    mkdir -p "$work/o"
    # A shell function (ffmpeg_job) runs in a child shell, so that time sees its processes.
    if declare -F "$1" >/dev/null; then
      /usr/bin/time -f "%e %M" -o "$work/time" bash -c '"$@"' _ "$@" >/dev/null 2>"$work/err"
    else
      /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/err"
    fi ||
      { cat "$work/err" >&2; echo "failed: $*" >&2; exit 1; }
    read -r t m <"$work/time"
    times+=("$t")
    peaks+=("$m")
  done
  TIME=$(printf '%s\n' "${times[@]}" | sort -g | sed -n "$(((runs + 1) / 2))p")
  PEAK=$(($(printf '%s\n' "${peaks[@]}" | sort -g | tail -1) / 1024))
  BYTES=$(du -sb "$work/o" | cut -f1)
}
# fps, ratio, row and print_rows.
# shellcheck source=bench/lib.sh
source bench/lib.sh

# shellcheck source=bench/ffmpeg_job.sh
source bench/ffmpeg_job.sh
# shellcheck source=bench/melt_job.sh
source bench/melt_job.sh
export QT_QPA_PLATFORM=offscreen

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo)"
echo "ffmpeg $(ffmpeg -version | head -1 | cut -d' ' -f3); melt $(melt -version 2>&1 | head -1 | awk '{print $NF}'); Pelorix $("$cli" --version | cut -d' ' -f2); median of $runs runs"
job=$work/job
bench/make_job.sh "$job" 1 4
job4k=$work/job4k
bench/make_job.sh "$job4k" 3 2
short=$work/short
bench/make_job.sh "$short" 1 2
count() { "$cli" info --json "$1/bench.pxp" | grep -o '"frames":[0-9]*' | cut -d: -f2; }
n=$(count "$job")
n4k=$(count "$job4k")
nshort=$(count "$short")
echo "frames: $n at 720p (4 s), $n4k at 4K (2 s), $nshort for the PNG levels (2 s); ffmpeg renders as many"

# JPEG 1280x720: against ffmpeg, against the encoder alone, two jobs against one.
timed "$cli" render "$job/bench.pxp" -o "$work/o" --format jpg --quiet
p=$(fps "$n" "$TIME")
timed ffmpeg_job "$job" 1 4 "$n" "$work/o/f%04d.jpg"
f=$(fps "$n" "$TIME")
row "JPEG 720p: fps vs ffmpeg" "$p" "$f" "$(ratio "$p" "$f")" ">=8"
"$cli" render "$job/bench.pxp" -o "$work/frames" --format bmp --quiet
limit=$("$PWD/build/bench/encode_limit" "$work/frames" jpg)
row "JPEG 720p: fps vs encoder alone (all cores)" "$p" "$limit" "$(ratio "$p" "$limit")" ">=0.70"
timed "$cli" render "$job/bench.pxp" -o "$work/o" --format jpg --quiet --jobs 1
one=$(fps "$n" "$TIME")
timed "$cli" render "$job/bench.pxp" -o "$work/o" --format jpg --quiet --jobs 2
two=$(fps "$n" "$TIME")
row "JPEG 720p: --jobs 2 vs --jobs 1 (fps)" "$two" "$one" "$(ratio "$two" "$one")" ">=1.85"

# JPEG 3840x2160.
timed "$cli" render "$job4k/bench.pxp" -o "$work/o" --format jpg --quiet
p=$(fps "$n4k" "$TIME")
timed ffmpeg_job "$job4k" 3 2 "$n4k" "$work/o/f%04d.jpg"
f=$(fps "$n4k" "$TIME")
row "JPEG 4K: fps vs ffmpeg" "$p" "$f" "$(ratio "$p" "$f")" ">=6"

# PNG at every level, 1280x720, 2 s: speed and size against ffmpeg at the same zlib level.
for level in 1 2 3 4 5 6 7 8 9; do
  timed "$cli" render "$short/bench.pxp" -o "$work/o" --format png --png-level "$level" --quiet
  p=$(fps "$nshort" "$TIME")
  pb=$BYTES
  timed ffmpeg_job "$short" 1 2 "$nshort" -compression_level "$level" "$work/o/f%04d.png"
  f=$(fps "$nshort" "$TIME")
  fb=$BYTES
  row "PNG level $level: fps vs ffmpeg" "$p" "$f" "$(ratio "$p" "$f")" ">=1"
  row "PNG level $level: bytes vs ffmpeg (MB)" "$(ratio "$pb" 1000000)" "$(ratio "$fb" 1000000)" \
    "$(ratio "$pb" "$fb")" "<=1"
done

# MP4 (H.264, CRF 23, preset veryfast): against ffmpeg doing the whole job, and
# against ffmpeg only encoding the frames Pelorix rendered (the encoder's limit).
timed "$cli" render "$job/bench.pxp" -o "$work/o/anim.mp4" --quiet
p=$(fps "$n" "$TIME")
mp4peak=$PEAK
timed ffmpeg_job "$job" 1 4 "$n" -c:v libx264 -preset veryfast -crf 23 -pix_fmt yuv420p "$work/o/f.mp4"
f=$(fps "$n" "$TIME")
row "MP4: fps vs ffmpeg whole job" "$p" "$f" "$(ratio "$p" "$f")" ">=1.5"
timed ffmpeg -loglevel error -y -framerate 30 -i "$work/frames/frame%04d.bmp" -c:v libx264 \
  -preset veryfast -crf 23 -pix_fmt yuv420p "$work/o/e.mp4"
f=$(fps "$n" "$TIME")
row "MP4: fps vs ffmpeg encoding the frames only" "$p" "$f" "$(ratio "$p" "$f")" ">=0.9"

# melt (MLT) on the same job, the two sides interleaved: the JPEG series and MP4 (x264
# veryfast, CRF 23). Per frame Pelorix draws the three layers straight from the decoded
# pictures into one canvas with its own kernels, on one thread per frame; melt converts each
# track's picture into its frame format, transforms it with the affine transition, keys the
# sprite with the chroma filter and blends, on two threads (real_time=-2).
export job n work cli
pelorix_jpeg() { "$cli" render "$job/bench.pxp" -o "$work/o" --format jpg --quiet; }
melt_jpeg() { melt_job "$job" 1 "$n" "$work/o/f%04d.jpg"; }
pelorix_mp4() { "$cli" render "$job/bench.pxp" -o "$work/o/anim.mp4" --quiet; }
melt_mp4() {
  melt_job "$job" 1 "$n" "$work/o/m.mp4" vcodec=libx264 preset=veryfast crf=23 pix_fmt=yuv420p an=1
}
pair pelorix_jpeg melt_jpeg
row "JPEG 720p: fps vs melt" "$(fps "$n" "$TIME_A")" "$(fps "$n" "$TIME_B")" "$(ratio "$TIME_B" "$TIME_A")" ">=12"
pair pelorix_mp4 melt_mp4
row "MP4 720p: fps vs melt" "$(fps "$n" "$TIME_A")" "$(fps "$n" "$TIME_B")" "$(ratio "$TIME_B" "$TIME_A")" ">=4"

# Frames into NumPy through the Python package against pelorix-cli writing the same frames raw
# (no encoding on either side), interleaved; whole processes on a 12 s job, so that starting
# Python and NumPy (0.1 s) counts as little as starting pelorix-cli.
if [ -d build/python/pelorix ]; then
  export PYTHONPATH=$PWD/build/python long=$work/long
  bench/make_job.sh "$long" 1 12
  nlong=$(count "$long")
  pelorix_raw() { "$cli" render "$long/bench.pxp" -o - --format nut --quiet >/dev/null; }
  python_frames() {
    /usr/bin/python3 -c "import pelorix, sys; [0 for f in pelorix.Project.load(sys.argv[1]).frames()]" \
      "$long/bench.pxp"
  }
  pair python_frames pelorix_raw
  row "Python frames into NumPy vs render nut (fps)" "$(fps "$nlong" "$TIME_A")" \
    "$(fps "$nlong" "$TIME_B")" "$(ratio "$TIME_B" "$TIME_A")" ">=0.90"
fi

# Animated GIF: against ffmpeg's palettegen/paletteuse, and the colour error of
# each against the RGB frames (PSNR in dB, higher is better).
psnr() {  # psnr GIF REFERENCE-PATTERN
  rm -rf "$work/g"
  mkdir -p "$work/g"
  ffmpeg -loglevel error -i "$1" -fps_mode passthrough "$work/g/g%04d.png"
  ffmpeg -hide_banner -framerate 30 -i "$work/g/g%04d.png" -framerate 30 -i "$2" \
    -lavfi "[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr" -f null - 2>&1 |
    grep -o 'average:[0-9.]*' | cut -d: -f2
}
timed "$cli" render "$job/bench.pxp" -o "$work/o/anim.gif" --allow-gif --quiet
p=$(fps "$n" "$TIME")
gifpeak=$PEAK
cp "$work/o/anim.gif" "$work/pelorix.gif"
export FILTER_TAIL=",split[s0][s1];[s0]palettegen[pal];[s1][pal]paletteuse"
timed ffmpeg_job "$job" 1 4 "$n" "$work/o/f.gif"
f=$(fps "$n" "$TIME")
cp "$work/o/f.gif" "$work/ffmpeg.gif"
row "GIF: fps vs ffmpeg palettegen/paletteuse" "$p" "$f" "$(ratio "$p" "$f")" ">=2"
"$cli" render "$job/bench.pxp" -o "$work/png" --format png --quiet
unset FILTER_TAIL
ffmpeg_job "$job" 1 4 "$n" "$work/ffpng%04d.png"
pp=$(psnr "$work/pelorix.gif" "$work/png/frame%04d.png")
fp=$(psnr "$work/ffmpeg.gif" "$work/ffpng%04d.png")
row "GIF: PSNR vs ffmpeg's (dB)" "$pp" "$fp" "$(ratio "$pp" "$fp")" ">=1"

# Peak memory of the one-file outputs (frames are streamed).
for type in webp apng webm; do
  timed "$cli" render "$job/bench.pxp" -o "$work/o/anim.$type" --quiet
  eval "${type}peak=$PEAK"
done
peak=$(printf '%s\n' "$mp4peak" "$gifpeak" "$webppeak" "$apngpeak" "$webmpeak" | sort -g | tail -1)
row "one-file outputs: peak memory (MiB)" "$peak" "100" "$(ratio "$peak" 100)" "<=1"
echo "  (peak MiB: mp4 $mp4peak, gif $gifpeak, webp $webppeak, apng $apngpeak, webm $webmpeak)"

# The preview redraw of the 8-layer 1280x720 bilinear project on two threads.
ms=$("$PWD/build/bench/preview_bench" --benchmark_filter='BM_PreviewRedraw/2' \
  --benchmark_repetitions="$runs" --benchmark_report_aggregates_only=true 2>/dev/null |
  awk '/_median/ {print $2}')
row "preview redraw, 8 layers 720p, 2 threads (ms)" "$ms" "8" "$(ratio "$ms" 8)" "<=1"

echo
print_rows
