#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What motion keys cost, each side against its peer in the same run, interleaved:
#  - without keys: the 3-layer 720p job (bench/make_job.sh, 30 s to JPEG) rendered by this
#    build and by a build of BASE (default: the commit before the motion model), which has no
#    motion at all; the goal is no difference beyond the noise;
#  - with keys: 8 rotated, bilinear, translucent 640x480 layers over 1280x720, every layer
#    moving by keys on position, rotation, scale and opacity (curves, a pivot) under a keyed
#    camera, against the same motion made by glides (render_bench, per frame, median of RUNS).
#   bench/motion.sh            RUNS=7 BASE=<commit> bench/motion.sh
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=bench/lib.sh
source bench/lib.sh
bench_start ffmpeg time bc
base=${BASE:-$(git log --format=%H -1 --grep='^Motion keys:')~1}
export job=$work/job n=900
bench/make_job.sh "$job" 1 30

# The build of BASE, made the way scripts/build.sh makes this one (ccache shares most of it).
git worktree add -q --detach "$work/base" "$base"
(cd "$work/base" && CCACHE_BASEDIR="$work/base" CCACHE_NOHASHDIR=1 \
  cmake -S . -B build -G Ninja -DPELORIX_BUILD_GUI=OFF -DPELORIX_BUILD_TESTS=OFF \
    -DPELORIX_BUILD_BENCH=OFF >/dev/null && cmake --build build -j "$(nproc)" --target pelorix-cli >/dev/null)
export basecli=$work/base/build/src/cli/pelorix-cli
now() { "$cli" render "$job/bench.pxp" -o "$work/o" --format jpg --quiet; }
before() { "$basecli" render "$job/bench.pxp" -o "$work/o" --format jpg --quiet; }
pair now before
row "no keys: JPEG 720p 30 s, this build vs $(git rev-parse --short "$base") (s)" "$TIME_A" "$TIME_B" \
  "$(ratio "$TIME_A" "$TIME_B")" "<=1.03"
git worktree remove --force "$work/base"

once_ms() { build/bench/render_bench --benchmark_filter="$1" 2>/dev/null | awk '$1 ~ /^BM_/ {print $2; exit}'; }
keyed=() glides=()
for _ in $(seq "$runs"); do
  keyed+=("$(once_ms "Moving.*/layers:8/reuse:1/keyed:1")")
  glides+=("$(once_ms "Moving.*/layers:8/reuse:1/keyed:0")")
done
k=$(printf '%s\n' "${keyed[@]}" | median)
g=$(printf '%s\n' "${glides[@]}" | median)
row "8 keyed layers and a camera vs 8 gliding, per frame (ms)" "$k" "$g" "$(ratio "$k" "$g")" "<=1.05"
print_rows
