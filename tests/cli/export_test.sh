#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end checks of render's export options, each file read back by media_probe (FFmpeg's
# libraries): codecs and tags, sound, sizes and rates, pipes, patterns, loops, usage errors.
set -u
cli=${PELORIX_CLI:?}
probe=${PELORIX_PROBE:?}
demo=${PELORIX_SOURCE_DIR:?}/examples/demo/demo.pxp
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

run() {  # run EXPECTED_STATUS COMMAND...: stdout and stderr in $work/out and $work/err
  local expected=$1
  shift
  "$@" >"$work/out" 2>"$work/err"
  local status=$?
  [ "$status" -eq "$expected" ] || { fail "$* exited $status, expected $expected"; sed 's/^/  | /' "$work/err" | head -5; }
}

has() {  # has FILE TEXT...: every text on one line of the file
  local file=$1 line
  shift
  line=$(cat "$file")
  for text in "$@"; do
    grep -qF -- "$text" <<<"$line" || { fail "'$text' not in $(basename "$file")"; sed 's/^/  | /' "$file" | head -6; return; }
  done
}

value() {  # value FILE KIND KEY: the key's value on the first line of that kind
  grep "^$2 " "$1" | head -1 | tr ' ' '\n' | sed -n "s/^$3=//p"
}

# A sound track: ten seconds of stereo at 44.1 kHz, written as WAV by hand.
python3 - "$work/tone.wav" <<'PY'
import math, struct, sys, wave
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(2); w.setsampwidth(2); w.setframerate(44100)
    w.writeframes(b"".join(struct.pack("<hh", int(8000 * math.sin(i / 20)), 0) for i in range(441000)))
PY

# Codecs where their containers take them, H.265 tagged hvc1; the sound in each container's codec,
# as long as the frames within one audio frame.
for case_line in "mp4 h265 hevc hvc1 aac" "mp4 av1 av1 av01 aac" "webm av1 av1 - opus" "mov h264 h264 avc1 aac" \
            "mov prores prores - pcm_s16le" "mkv vp9 vp9 - flac"; do
  read -r container codec name tag sound <<<"$case_line"
  file=$work/$codec.$container
  run 0 "$cli" render "$demo" -o "$file" --codec "$codec" --audio "$work/tone.wav" --quiet
  "$probe" "$file" >"$work/probe"
  # 3.00 s at 12 fps: 36 frames of 1/12 s, 3.000 s (a numbered series keeps its 37)
  has "$work/probe" "video codec=$name" "frames=36" "width=320 height=240"
  [ "$tag" = - ] || has "$work/probe" "tag=$tag"
  has "$work/probe" "audio codec=$sound"
  video=$(value "$work/probe" video duration)
  audio=$(value "$work/probe" audio duration)
  awk -v v="$video" -v a="$audio" 'BEGIN { exit !(a - v < 0.03 && v - a < 0.03) }' ||
    fail "$codec.$container: sound $audio s against video $video s"
done
# A part of a render gets the matching stretch; a missing sound is reported like a missing
# picture and the video is written without it; outputs without sound say so once.
run 0 "$cli" render "$demo" -o "$work/part.mp4" --frames 12-23 --audio "$work/tone.wav" --quiet
"$probe" "$work/part.mp4" >"$work/probe"
has "$work/probe" "frames=12" "audio codec=aac"
run 5 "$cli" render "$demo" -o "$work/nosound.mp4" --audio "$work/none.wav" --quiet
has "$work/err" "none.wav"
"$probe" "$work/nosound.mp4" >"$work/probe"
has "$work/probe" "video codec=h264"
grep -q "^audio" "$work/probe" && fail "a missing sound made an audio stream"
run 0 "$cli" render "$demo" -o "$work/nosound.mp4" --audio "$work/none.wav" --keep-going --quiet
run 0 "$cli" render "$demo" -o "$work/anim.webp" --audio "$work/tone.wav"
[ "$(grep -c "tone.wav" "$work/err")" -eq 1 ] || fail "the sound left out of WebP is not said once"
run 64 "$cli" render "$demo" -o "$work/x.mp4" --audio-volume 2

# Size and rate: the project's own size gives the same bytes; --scale and --fps; odd sides padded
# or cropped for H.264.
run 0 "$cli" render "$demo" -o "$work/plain" --frames 5-5 --quiet
run 0 "$cli" render "$demo" -o "$work/sized" --frames 5-5 --size 320x240 --quiet
cmp -s "$work/plain/frame0005.png" "$work/sized/frame0005.png" || fail "--size at the project's size changed the frame"
run 0 "$cli" render "$demo" -o "$work/big.mp4" --scale 2 --fps 30000/1001 --quiet
"$probe" "$work/big.mp4" >"$work/probe"
has "$work/probe" "width=640 height=480" "rate=30000/1001" "frames=90"
run 0 "$cli" render "$demo" -o "$work/odd.mp4" --size 321x241
has "$work/err" "322 x 242"
has <("$probe" "$work/odd.mp4") "width=322 height=242"
run 0 "$cli" render "$demo" -o "$work/crop.mp4" --size 321x241 --even crop --quiet
has <("$probe" "$work/crop.mp4") "width=320 height=240"

# Animations play as often as --loop says (0: for ever).
for case_line in "gif 3" "webp 2" "apng 1" "gif 0"; do
  read -r type loop <<<"$case_line"
  run 0 "$cli" render "$demo" -o "$work/loop$loop.$type" --loop "$loop" --allow-gif --quiet
  has <("$probe" "$work/loop$loop.$type") "plays=$loop"
done
run 0 "$cli" render "$demo" -o "$work/global.gif" --gif-palette global --dither 0.5 --allow-gif --quiet
has <("$probe" "$work/global.gif") "frames=36"

# Pipes: raw pictures that another program reads as they come, and one frame as PNG.
for case_line in "y4m 36" "nut 36" "png 37"; do
  read -r format frames <<<"$case_line"
  "$cli" render "$demo" -o - --format "$format" --quiet 2>"$work/err" | "$probe" - >"$work/probe" ||
    fail "render -o - --format $format"
  has "$work/probe" "frames=$frames" "width=320"
done
"$cli" frame "$demo" --at 1 -o - | "$probe" - >"$work/probe"
has "$work/probe" "video codec=png"
run 64 "$cli" render "$demo" -o - --format mp4

# Names by a pattern; what -o cannot mean is a usage error.
run 0 "$cli" render "$demo" -o "$work/pattern/shot_%03d.png" --frames 0-2 --quiet
[ -e "$work/pattern/shot_002.png" ] || fail "the pattern's names"
run 64 "$cli" render "$demo" -o "$work/x.avi"
has "$work/err" ".mp4"
run 64 "$cli" render "$demo" -o "$work/anim.png"
has "$work/err" "anim%04d.png"
run 64 "$cli" render "$demo" -o "$work/p%d%d.png"
run 64 "$cli" render "$demo" -o "$work/x.webm" --codec h264
[ -e "$work/x.avi" ] || [ -e "$work/anim.png" ] && fail "a refused -o made a file or folder"

# Options a format does not use are said, once each; the render goes on.
run 0 "$cli" render "$demo" -o "$work/w.mov" --crf 20 --preset slow
[ "$(grep -c -- "--crf" "$work/err")" -eq 1 ] || fail "--crf with ProRes is not said once"
has "$work/err" "--preset"
run 0 "$cli" render "$demo" -o "$work/w.mp4" --bitrate 300k --preset slow --lossless
[ "$(grep -c -- "--lossless" "$work/err")" -eq 1 ] || fail "--lossless with MP4 is not said once"

# Parts put together: the sound of each container's codec lines up with one render's, to the
# sample, at every seam and in length (a 1 kHz burst every 0.23 s; each burst's start found in
# the decoded sound). A part cut short by a few bytes is refused by name.
python3 - "$work/bursts.wav" <<'PY'
import math, struct, sys, wave
rate, period = 44100, int(0.23 * 44100)
w = wave.open(sys.argv[1], "wb")
w.setnchannels(2), w.setsampwidth(2), w.setframerate(rate)
samples = (int(20000 * math.sin(2 * math.pi * 1000 * (i % period) / rate)) if i % period < 400 else 0
           for i in range(3 * rate))
w.writeframes(b"".join(struct.pack("<hh", v, v) for v in samples))
PY
for container in mp4 webm mkv; do
  run 0 "$cli" render "$demo" -o "$work/whole.$container" --audio "$work/bursts.wav" --quiet
  for range in 0-10 11-22 23-35; do
    run 0 "$cli" render "$demo" -o "$work/seam$range.$container" --frames "$range" \
      --audio "$work/bursts.wav" --quiet
  done
  run 0 "$cli" join "$work"/seam*."$container" -o "$work/joined.$container" --quiet
  [ "$("$probe" --clicks "$work/whole.$container")" = "$("$probe" --clicks "$work/joined.$container")" ] ||
    fail "$container: the joined sound does not line up with one render's"
  cp "$work/seam23-35.$container" "$work/cut.$container"
  truncate -s -300 "$work/cut.$container"
  run 1 "$cli" join "$work/seam0-10.$container" "$work/seam11-22.$container" "$work/cut.$container" \
    -o "$work/cutjoin.$container"
  has "$work/err" "cut.$container"
done
# Sound that is no file, a start beyond any sound, an AV1 frame too small for its encoder.
mkfifo "$work/fifo.wav"
run 1 timeout 20 "$cli" render "$demo" -o "$work/f.mp4" --audio "$work/fifo.wav"
has "$work/err" "fifo.wav"
run 0 "$cli" render "$demo" -o "$work/far.mp4" --audio "$work/bursts.wav" --audio-offset 1e300 --quiet
run 1 "$cli" render "$demo" -o "$work/small.mp4" --codec av1 --size 96x48
has "$work/err" "64"
[ -e "$work/small.mp4" ] && fail "a refused AV1 render left a file"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "all export checks passed"
