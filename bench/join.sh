#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# One video from parts: the 3-layer 720p job (bench/make_job.sh) for 2 minutes as MP4, rendered
# once whole and once in 4 parts (render --frames) that pelorix-cli join puts together. Goals:
# the joined file within 3 % of the whole render's size, its PSNR against the lossless frames
# within 0.2 dB of the whole render's, and the join at 50 times real time or more (the median of
# RUNS joins, interleaved with copies of the same bytes by cat as the baseline of the disk).
#   bench/join.sh            RUNS=7 bench/join.sh
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=bench/lib.sh
source bench/lib.sh
bench_start ffmpeg time bc

seconds=120
export job=$work/job parts=$work/parts
bench/make_job.sh "$job" 1 "$seconds"
frames=$("$cli" info --json "$job/bench.pxp" | grep -o '"frames":[0-9]*' | cut -d: -f2)
"$cli" render "$job/bench.pxp" -o "$work/whole.mp4" --quiet
mkdir -p "$parts"
per=$(((frames + 3) / 4))
for first in $(seq 0 "$per" $((frames - 1))); do
  "$cli" render "$job/bench.pxp" --frames "$first-$((first + per - 1))" \
    -o "$(printf '%s/part-%06d.mp4' "$parts" "$first")" --quiet
done

join() { "$cli" join "$parts"/part-*.mp4 -o "$work/o/joined.mp4" --quiet; }
copy() { cat "$parts"/part-*.mp4 >"$work/o/copy.bin"; }
pair join copy
join
cp "$work/o/joined.mp4" "$work/joined.mp4"

whole=$(stat -c %s "$work/whole.mp4")
joined=$(stat -c %s "$work/joined.mp4")
row "joined 4 parts vs one render: bytes" "$joined" "$whole" "$(ratio "$joined" "$whole")" "<=1.03"
# psnr FILE: the mean PSNR of its frames against the lossless frames, streamed.
psnr() {
  "$cli" render "$job/bench.pxp" -o - --format y4m --quiet |
    ffmpeg -hide_banner -nostats -i "$1" -i - \
      -lavfi "[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr" -f null - 2>&1 |
    grep -o 'average:[0-9.inf]*' | cut -d: -f2
}
pj=$(psnr "$work/joined.mp4")
pw=$(psnr "$work/whole.mp4")
row "joined vs one render: PSNR loss (dB)" "$pj" "$pw" "$(echo "$pw - $pj" | bc -l | xargs printf '%.2f')" "<=0.2"
speed=$(echo "$seconds / $TIME_A" | bc -l | xargs printf '%.0f')
row "join: times real time (cat of the parts: $TIME_B s)" "$speed" "$TIME_A s" "$speed" ">=50"
echo
media=$(build/tests/media_probe "$work/joined.mp4" 2>/dev/null || true)
[ -n "$media" ] && echo "joined: $media"
print_rows
