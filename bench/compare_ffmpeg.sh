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

# The job's pictures and project, and ffmpeg's composition of the same animation.
bench/make_job.sh "$work" 1 "$seconds"
# shellcheck source=bench/ffmpeg_job.sh
source bench/ffmpeg_job.sh

ffmpeg_run() {  # ffmpeg_run EXT OUTDIR
  ffmpeg_job "$work" 1 "$seconds" "$frames" "$2/ff%04d.$1"
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
