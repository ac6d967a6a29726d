#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end checks of pelorix-cli: exit statuses, output and files.
set -u
cli=${PELORIX_CLI:?}
src=${PELORIX_SOURCE_DIR:?}
demo=$src/examples/demo/demo.pxp
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A copy of the demo folder, for projects that use its pictures.
src_copy=$work/demo
cp -r "$src/examples/demo" "$src_copy"
rm -rf "$src_copy/out"
printf 'PELORIX_PROJECT:\r\nx\r\nout,f,png\r\n0.00,32,24\r\nDATA_END:\r\n' >"$work/nofps.pxp"
failures=0

check() {  # check DESCRIPTION EXPECTED_STATUS COMMAND...
  local what=$1 expected=$2
  shift 2
  "$@" >"$work/out" 2>"$work/err"
  local status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "FAIL: $what: exit $status, expected $expected"
    sed 's/^/  stdout: /' "$work/out" | head -20
    sed 's/^/  stderr: /' "$work/err" | head -20
    failures=$((failures + 1))
  fi
}

contains() {  # contains DESCRIPTION FILE TEXT
  if ! grep -qF -- "$3" "$2"; then
    echo "FAIL: $1: '$3' not in $2"
    sed 's/^/  | /' "$2" | head -20
    failures=$((failures + 1))
  fi
}

# info
check "info demo" 0 "$cli" info "$demo"
contains "info summary" "$work/out" "X=320 Y=240 FPS=12.000000"
contains "info layer" "$work/out" " レイヤ名=logo   枚数=2"
check "info missing" 2 "$cli" info "$work/missing.pxp"
contains "missing message" "$work/err" "layerinfoファイルが開けません"
printf 'PELORIX_PROJECT:\r\nx\r\n' >"$work/bad.pxp"
check "info malformed" 3 "$cli" info "$work/bad.pxp"
contains "malformed message" "$work/err" "layerinfoファイルが異常です"

# info --json
check "json demo" 0 "$cli" info --json "$demo"
contains "json result" "$work/out" '"result":5'
contains "json layer" "$work/out" '"name":"sprite"'
contains "json key" "$work/out" '"keyColor":{"blue":255,"green":0,"red":255,"reserved":0}'
contains "json frames" "$work/out" '"totalTime":3,"frames":37'
contains "json effect names" "$work/out" '"effectNames":["colorKey"]'
if command -v python3 >/dev/null; then
  python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert d["layers"][1]["sources"][1]["rotation"]==20' "$work/out" \
    || { echo "FAIL: json does not parse or lacks the source fields"; failures=$((failures + 1)); }
fi
# Motion: keys, curves, tangents, pivot, parent and camera in JSON; save-as keeps the lines.
motion=$src/examples/motion/motion.pxp
check "json motion" 0 "$cli" info --json "$motion"
if command -v python3 >/dev/null; then
  python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); arm=d["layers"][2]["motion"]; assert arm["parent"]==2 and arm["pivot"]["y"]==-10 and arm["rotation"][0]["curve"].startswith("bezier("), arm; assert d["camera"]["zoom"][1]["value"]==1.15' "$work/out" \
    || { echo "FAIL: json lacks the motion"; failures=$((failures + 1)); }
fi
check "save-as motion" 0 "$cli" save-as "$motion" "$work/motion-again.pxp"
cmp -s "$motion" "$work/motion-again.pxp" || { echo "FAIL: save-as changed the motion lines"; failures=$((failures + 1)); }
check "json missing" 2 "$cli" info --json "$work/missing.pxp"
contains "json missing result" "$work/out" '"result":-1'
check "json malformed" 3 "$cli" info --json "$work/bad.pxp"
contains "json malformed keeps the name" "$work/out" '"name":"x"'

# save-as
check "save-as" 0 "$cli" save-as "$demo" "$work/copy.pxp"
cmp -s "$demo" "$work/copy.pxp" || { echo "FAIL: save-as is not byte-identical"; failures=$((failures + 1)); }
# Japanese names through CP932 and back.
sed 's/^1,background/1,背景/; s/^3,sprite/3,スプライト/' "$demo" >"$work/japanese.pxp"
check "save-as cp932" 0 "$cli" save-as "$work/japanese.pxp" "$work/sjis.pxp" --encoding cp932
cmp -s "$work/japanese.pxp" "$work/sjis.pxp" && { echo "FAIL: the cp932 file is the utf-8 one"; failures=$((failures + 1)); }
check "save-as back" 0 "$cli" save-as "$work/sjis.pxp" "$work/sjis2.pxp"
cmp -s "$work/sjis.pxp" "$work/sjis2.pxp" || { echo "FAIL: cp932 file changed on save"; failures=$((failures + 1)); }
check "save-as utf-8" 0 "$cli" save-as "$work/sjis.pxp" "$work/utf8.pxp" --encoding utf-8
cmp -s "$work/japanese.pxp" "$work/utf8.pxp" || { echo "FAIL: cp932 -> utf-8 differs from the original names"; failures=$((failures + 1)); }
check "save-as malformed" 3 "$cli" save-as "$work/bad.pxp" "$work/x.pxp"
[ ! -e "$work/x.pxp" ] || { echo "FAIL: malformed project was written"; failures=$((failures + 1)); }
check "save-as unwritable" 1 "$cli" save-as "$demo" "$work/no/such/dir/x.pxp"
contains "unwritable message" "$work/err" "layerinfoファイルが保存できません"
check "usage" 64 "$cli" save-as
contains "usage line" "$work/err" "使い方: pelorix-cli save-as"

# Usage errors: one status, the command's usage line, a suggestion for a near miss.
check "misspelt command" 64 "$cli" rendr "$demo"
contains "suggestion" "$work/err" "'render' のことですか？"
check "no command" 64 "$cli"
check "bad number" 64 "$cli" render "$demo" --jobs abc
contains "plain number message" "$work/err" "'abc' is not a whole number"
check "unknown option" 64 "$cli" info "$demo" --bogus
check "version" 0 "$cli" --version
contains "version text" "$work/out" "pelorix-cli "

# Not regular files are refused at once, not read until memory runs out or waited on.
check "device as project" 2 timeout 10 "$cli" info /dev/zero
contains "device message" "$work/err" "layerinfoファイルが開けません"
mkfifo "$work/fifo"
check "fifo as image" 1 timeout 10 "$cli" convert "$work/fifo" "$work/x.png"
contains "fifo message" "$work/err" "通常のファイルではありません"

# A file name that is neither UTF-8 nor CP932 survives save-as byte for byte.
printf 'PELORIX_PROJECT:\r\nlatin\r\nout,f,png\r\n12.00,32,24\r\n1,\x83\x5c\r\n1,0\r\n0,0,0,0\r\n0,0\r\ncaf\xe9.png\r\n1.00,0.00,0.00,1.00,0.00,1.00,0.00,0.00\r\n1,\r\nLAYER_END:\r\nDATA_END:\r\n' >"$work/latin.pxp"
check "save-as latin-1" 0 "$cli" save-as "$work/latin.pxp" "$work/latin2.pxp"
cmp -s "$work/latin.pxp" "$work/latin2.pxp" || { echo "FAIL: a Latin-1 name changed on save"; failures=$((failures + 1)); }
cp "$src/examples/demo/sprite1.bmp" "$work/$(printf 'caf\xe9.png')"
check "latin-1 picture found" 0 "$cli" frame "$work/latin.pxp" --at 0.5 -o "$work/latin.png"

# save-as through a symbolic link updates the link's target.
mkdir -p "$work/real"
cp "$demo" "$work/real/p.pxp"
ln -s real/p.pxp "$work/link.pxp"
check "save-as link" 0 "$cli" save-as "$work/sjis.pxp" "$work/link.pxp"
[ -L "$work/link.pxp" ] && cmp -s "$work/sjis.pxp" "$work/real/p.pxp" || { echo "FAIL: save-as did not write through the link"; failures=$((failures + 1)); }

# convert
check "convert" 0 "$cli" convert "$src/examples/demo/sprite1.bmp" "$work/sprite.png"
check "convert back" 0 "$cli" convert "$work/sprite.png" "$work/sprite.bmp"
cmp -s "$src/examples/demo/sprite1.bmp" "$work/sprite.bmp" || { echo "FAIL: bmp -> png -> bmp changed the file"; failures=$((failures + 1)); }
check "convert missing" 1 "$cli" convert "$work/none.png" "$work/x.png"
contains "convert missing message" "$work/err" "pelorix-cli: $work/none.png を読めません: "
check "convert unknown type" 1 "$cli" convert "$src/examples/demo/sprite1.bmp" "$work/x.xyz"
contains "unknown type message" "$work/err" "pelorix-cli: $work/x.xyz に書き込めません: no encoder"
[ ! -e "$work/x.xyz" ] || { echo "FAIL: a file of unknown type was written"; failures=$((failures + 1)); }

# frame
check "frame" 0 "$cli" frame "$demo" --at 1.2 -o "$work/f.png"
check "frame decodes" 0 "$cli" convert "$work/f.png" "$work/f.bmp"
contains "frame size" "$work/err" "320 x 240、24 ビット"
check "frame single layer" 0 "$cli" frame "$demo" --at 0.2 --layer 3 -o "$work/sprite-only.bmp"
check "frame no such layer" 1 "$cli" frame "$demo" --at 0 --layer 42 -o "$work/x.png"
check "frame after the end" 0 "$cli" frame "$demo" --at 100 -o "$work/black.bmp"
check "frame missing project" 2 "$cli" frame "$work/none.pxp" --at 0 -o "$work/x.png"
check "frame into new folders" 0 "$cli" frame "$demo" --at 1 -o "$work/new/deep/f.png"
check "frame at nan" 64 "$cli" frame "$demo" --at nan -o "$work/nan.png"

# render
check "render demo" 0 "$cli" render "$demo" -o "$work/full" --quiet
[ "$(ls "$work/full" | wc -l)" -eq 37 ] || { echo "FAIL: render wrote $(ls "$work/full" | wc -l) files, expected 37"; failures=$((failures + 1)); }
[ -e "$work/full/frame0036.png" ] || { echo "FAIL: frame0036.png missing"; failures=$((failures + 1)); }
check "render log lines" 0 "$cli" render "$demo" -o "$work/logged" --format bmp --name shot
contains "total time line" "$work/err" "トータルタイム　3.00　画面数　36"
contains "elapsed line" "$work/err" "変換時間は"
contains "summary" "$work/out" "37 画面を"
[ -e "$work/logged/shot0000.bmp" ] || { echo "FAIL: --name/--format ignored"; failures=$((failures + 1)); }
check "render gif refused" 1 "$cli" render "$demo" -o "$work/gif" --format gif
contains "gif message" "$work/err" "GIF保存は現在サポート外です。"
contains "gif hint" "$work/err" "--allow-gif"
check "render gif allowed" 0 "$cli" render "$demo" -o "$work/gif" --format gif --allow-gif --frames 0-1 --quiet
[ -e "$work/gif/frame0001.gif" ] || { echo "FAIL: --allow-gif wrote nothing"; failures=$((failures + 1)); }
check "render unknown format" 64 "$cli" render "$demo" -o "$work/xyz" --format xyz --quiet
contains "unknown format" "$work/err" "'xyz' という種類はありません (使える種類: png, jpg"
[ ! -e "$work/xyz" ] || { echo "FAIL: an unknown format made the output folder"; failures=$((failures + 1)); }
check "render bad range" 64 "$cli" render "$demo" --frames 9-3
check "render range past the end" 1 "$cli" render "$demo" -o "$work/past" --frames 100-200
[ "$(grep -c "最後の画面 (36) より後" "$work/err")" -eq 1 ] ||
  { echo "FAIL: a refusal is printed once"; failures=$((failures + 1)); }
contains "range message" "$work/err" "画面 100-200 は最後の画面 (36) より後です"
check "render no frame rate quiet" 1 "$cli" render "$work/nofps.pxp" --quiet
contains "refusal reason with --quiet" "$work/err" "フレームレートが 0.00"

# Progress without a terminal: a line every 5 %, not one per frame.
check "render progress" 0 "$cli" render "$demo" -o "$work/progress" --format bmp
[ "$(grep -c '^[0-9]* / [0-9]* 画面' "$work/err")" -le 21 ] || { echo "FAIL: more than 21 progress lines"; failures=$((failures + 1)); }
contains "progress line" "$work/err" "37 / 37 画面 (100 %)"
check "render verbose" 0 "$cli" render "$demo" -o "$work/progress" --format bmp --verbose
[ "$(grep -c '^[0-9]* / [0-9]* 画面' "$work/err")" -eq 37 ] || { echo "FAIL: --verbose should print every frame"; failures=$((failures + 1)); }

# A missing picture: every failure is printed once, even with --quiet, then a summary, and the
# status says the frames are incomplete unless --keep-going.
sed 's/logo\.png/gone.png/' "$demo" >"$src_copy/missing.pxp"
check "render missing picture" 5 "$cli" render "$src_copy/missing.pxp" -o "$work/missing" --quiet
# Two sources show the picture: two distinct failures, each printed once for 37 frames.
[ "$(grep -c 'pelorix-cli: 画像 gone.png: ' "$work/err")" -eq 2 ] || { echo "FAIL: each failure should be printed once"; failures=$((failures + 1)); }
contains "missing summary" "$work/err" "画面を画像が見つからないまま書きました: gone.png (レイヤー 2、"
check "render missing keep going" 0 "$cli" render "$src_copy/missing.pxp" -o "$work/missing" --quiet --keep-going
check "frame missing picture" 5 "$cli" frame "$src_copy/missing.pxp" --at 1 -o "$work/m.png"
check "render missing project" 2 "$cli" render "$work/none.pxp"
: >"$work/blocker"
check "render folder" 1 "$cli" render "$demo" -o "$work/blocker/out"
contains "folder message" "$work/err" "を作れません"

# same_files DESCRIPTION DIR: DIR holds exactly the files of the full run, byte for byte; says
# which files differ and where when it does not.
same_files() {
  if ! diff -r "$work/full" "$2" >/dev/null; then
    echo "FAIL: $1 differ from the full run:"
    diff -rq "$work/full" "$2" | head -5 | sed 's/^/  /'
    diff -rq "$work/full" "$2" | awk '/^Files/ {print $2, $4}' | head -3 | while read -r a b; do
      echo "  $(basename "$a"): $(cmp "$a" "$b" | head -1), sizes $(stat -c %s "$a") and $(stat -c %s "$b")"
    done
    failures=$((failures + 1))
  fi
}

# Ranges rendered apart give the files of one full run.
check "range 1" 0 "$cli" render "$demo" -o "$work/parts" --frames 0-9 --quiet
check "range 2" 0 "$cli" render "$demo" -o "$work/parts" --frames 10-36 --quiet
same_files "ranges" "$work/parts"

# The bytes of a frame depend on its pixels only: many processes, two workers each, while
# another process competes for the cores, all write the files of the full run.
( end=$((SECONDS + 20)); while [ $SECONDS -lt $end ]; do :; done ) &
busy=$!
for i in $(seq 1 12); do
  "$cli" render "$demo" -o "$work/again$i" --jobs 2 --quiet || failures=$((failures + 1))
  same_files "render $i of 12" "$work/again$i"
  rm -rf "$work/again$i"
done
kill "$busy" 2>/dev/null; wait "$busy" 2>/dev/null
rm -f "$work/parts/frame0004.png" "$work/parts/frame0030.png"
echo junk >"$work/parts/frame0005.png"
check "skip existing" 0 "$cli" render "$demo" -o "$work/parts" --skip-existing --quiet
[ "$(cat "$work/parts/frame0005.png")" = junk ] || { echo "FAIL: --skip-existing rewrote a file"; failures=$((failures + 1)); }
cmp -s "$work/parts/frame0030.png" "$work/full/frame0030.png" || { echo "FAIL: --skip-existing did not fill the gap"; failures=$((failures + 1)); }

# The README's GNU parallel recipe: two ranges at once.
if command -v parallel >/dev/null; then
  parallel --will-cite "$cli" render "$demo" -o "$work/parallel" --frames {} --quiet ::: 0-18 19-36 \
    || { echo "FAIL: parallel render"; failures=$((failures + 1)); }
  same_files "parallel ranges" "$work/parallel"
else
  echo "note: GNU parallel is not installed; its recipe was not tried"
fi

# Ctrl-C: the frames in flight finish, the files form a prefix, the status says interrupted.
{
  printf 'PELORIX_PROJECT:\r\nlong\r\nlong,f,png\r\n30.00,320,240\r\n1,bg\r\n1,1\r\n0,0,0,0\r\n0,0\r\n'
  # Path fields are written with backslashes ('/' separates fields).
  printf '%s\\examples\\demo\\bg.png\r\n100.00,0,0,1.3,10,1,0,0\r\n1,\r\nLAYER_END:\r\nDATA_END:\r\n' "${src//\//\\}"
} >"$work/long.pxp"
for sig in INT TERM HUP; do
  rm -rf "$work/long"
  "$cli" render "$work/long.pxp" --jobs 2 --quiet --png-level 9 >/dev/null 2>"$work/err" &
  pid=$!
  sleep 1
  kill -$sig $pid
  wait $pid
  status=$?
  [ "$status" -eq 4 ] || { echo "FAIL: render stopped by $sig exited $status, expected 4"; failures=$((failures + 1)); }
  count=$(ls "$work/long" | wc -l)
  last=$(printf 'f%04d.png' $((count - 1)))
  if [ "$count" -eq 0 ] || [ "$count" -ge 3000 ] || [ ! -e "$work/long/$last" ]; then
    echo "FAIL: render stopped by $sig left $count files, not a prefix"
    failures=$((failures + 1))
  fi
  ls -a "$work/long" | grep -q pelorix-tmp && { echo "FAIL: a temporary file was left behind ($sig)"; failures=$((failures + 1)); }
done
# kill -9 leaves a temporary file; the next render into the folder removes it.
"$cli" render "$work/long.pxp" --jobs 2 --quiet --png-level 9 -o "$work/killed" >/dev/null 2>&1 &
pid=$!
sleep 1
kill -9 $pid
wait $pid 2>/dev/null
# Whether the kill caught a frame being written is luck: add one such file for certain.
tag=$(hostname | tr -- '-/.' '___' | cut -c1-32)
: >"$work/killed/.pelorix-tmp-$tag-999999999-abcdef"
check "render after kill -9" 0 "$cli" render "$work/long.pxp" --quiet --frames 0-0 -o "$work/killed"
ls -a "$work/killed" | grep -q pelorix-tmp && { echo "FAIL: a killed render's temporary file stayed"; failures=$((failures + 1)); }

# kill -9 of a one-file render whose -o is a link into another folder: the next render cleans the
# folder the file is really written to.
mkdir -p "$work/real" "$work/linked"
ln -s "$work/real/anim.apng" "$work/linked/anim.apng"
"$cli" render "$work/long.pxp" --jobs 2 --quiet -o "$work/linked/anim.apng" >/dev/null 2>&1 &
pid=$!
sleep 1
kill -9 $pid
wait $pid 2>/dev/null
: >"$work/real/.pelorix-tmp-$tag-999999999-abcdef"
"$cli" render "$work/long.pxp" --quiet --frames 0-0 -o "$work/linked/anim.apng" >/dev/null 2>&1
ls -a "$work/real" | grep -q pelorix-tmp && { echo "FAIL: a temporary file stayed where the link points"; failures=$((failures + 1)); }

# A reader that goes away (SIGPIPE on the messages) stops the render cleanly: no temporary file.
"$cli" render "$work/long.pxp" --jobs 2 -o "$work/piped/anim.apng" 2>&1 | head -c 1 >/dev/null
sleep 1
ls -a "$work/piped" 2>/dev/null | grep -q pelorix-tmp && { echo "FAIL: SIGPIPE left a temporary file"; failures=$((failures + 1)); }

# Closed standard descriptors: a message never goes into the file being written.
printf 'PELORIX_PROJECT:\r\nm\r\nout,f,png\r\n10.00,32,24\r\n1,x\r\n1,0\r\n0,0,0,0\r\n0,0\r\nmissing.png\r\n0.50,0,0,1,0,1,0,0\r\n1,\r\nLAYER_END:\r\nDATA_END:\r\n' >"$work/missing.pxp"
"$cli" render "$work/missing.pxp" -o "$work/closed/anim.apng" --keep-going 2>&- >&- </dev/null
[ "$(tail -c 8 "$work/closed/anim.apng" | head -c 4)" = IEND ] ||
  { echo "FAIL: with standard error closed the APNG does not end in IEND"; failures=$((failures + 1)); }
grep -q "pelorix-cli" "$work/closed/anim.apng" && { echo "FAIL: a message went into the file"; failures=$((failures + 1)); }

# Output that cannot be written is a failure; a working folder that is gone is a clear error.
check "info to a full disk" 1 bash -c "\"$cli\" info --json \"$demo\" >/dev/full"
contains "full disk message" "$work/err" "標準出力に書き込めません"
mkdir "$work/gone"
check "relative -o without a working folder" 1 bash -c "cd \"$work/gone\" && rmdir \"$work/gone\" && \"$cli\" render \"$demo\" -o rel --quiet"
contains "gone message" "$work/err" "-o rel の場所がわかりません"

# Targets that are not regular files are refused and left alone.
mkfifo "$work/fifo.pxp"
check "save-as to a FIFO" 1 "$cli" save-as "$demo" "$work/fifo.pxp"
contains "fifo message" "$work/err" "通常のファイルではありません"
[ -p "$work/fifo.pxp" ] || { echo "FAIL: the FIFO was replaced"; failures=$((failures + 1)); }
if [ "$(id -u)" -eq 0 ]; then
  mknod "$work/null" c 1 3
  check "frame to a device" 1 "$cli" frame "$demo" --at 0 -o "$work/null"
  [ -c "$work/null" ] || { echo "FAIL: the device was replaced"; failures=$((failures + 1)); }
fi

# More than 16 layers: said on every load; save-as refuses to drop them unless told to.
{
  printf 'PELORIX_PROJECT:\r\nmany\r\nout,f,png\r\n10.00,32,24\r\n'
  for i in $(seq 1 18); do printf '%d,L\r\n1,0\r\n0,0,0,0\r\n0,0\r\nLAYER_END:\r\n' "$i"; done
  printf 'DATA_END:\r\n'
} >"$work/many.pxp"
check "info of 18 layers" 0 "$cli" info "$work/many.pxp"
contains "layers left out" "$work/err" "2 個"
check "save-as of 18 layers" 1 "$cli" save-as "$work/many.pxp" "$work/sixteen.pxp"
contains "drop-extra hint" "$work/err" "--drop-extra"
[ ! -e "$work/sixteen.pxp" ] || { echo "FAIL: 18 layers were cut to 16"; failures=$((failures + 1)); }
check "save-as --drop-extra" 0 "$cli" save-as "$work/many.pxp" "$work/sixteen.pxp" --drop-extra
check "save-as to standard output" 0 "$cli" save-as "$demo" -
cmp -s "$demo" "$work/out" || { echo "FAIL: save-as - is not the project"; failures=$((failures + 1)); }
check "save-as to /dev/stdout" 1 bash -c "set -o pipefail; \"$cli\" save-as \"$demo\" /dev/stdout | cat"
contains "stdout message" "$work/err" "/dev/stdout"

# Checked before anything is made: the frame size, a format's own limits, --crf, --lang anywhere.
printf 'PELORIX_PROJECT:\r\nz\r\nout,f,png\r\n10.00,0,0\r\nDATA_END:\r\n' >"$work/zero.pxp"
check "frame of 0 x 0" 1 "$cli" frame "$work/zero.pxp" --at 0 -o "$work/zero/z.png"
[ "$(grep -c '0 x 0' "$work/err")" -eq 1 ] || { echo "FAIL: the size refusal is printed once"; failures=$((failures + 1)); }
[ ! -e "$work/zero" ] || { echo "FAIL: a refused frame made a folder"; failures=$((failures + 1)); }
check "render of 0 x 0" 1 "$cli" render "$work/zero.pxp" -o "$work/zero"
[ ! -e "$work/zero" ] || { echo "FAIL: a refused render made a folder"; failures=$((failures + 1)); }
sed 's/^12.00,320,240/12.00,17000,10/' "$demo" >"$src_copy/wide.pxp"
check "animated WebP too wide" 1 "$cli" render "$src_copy/wide.pxp" -o "$work/wide/w.webp"
contains "webp limit" "$work/err" "16383"
if [ "${PELORIX_HAVE_VIDEO:-ON}" != OFF ]; then
  check "crf beyond H.264" 64 "$cli" render "$demo" -o "$work/crf.mp4" --crf 60
  contains "crf limit" "$work/err" "51"
fi
check "--lang after the command" 0 "$cli" info "$demo" --lang en
contains "english after the command" "$work/out" "Save folder"
mkdir -p "$work/target.apng"
check "one-file target is a folder" 1 "$cli" render "$demo" -o "$work/target.apng" --quiet
contains "folder target" "$work/err" "フォルダで"

# One video file, and the same without the video module: a clear refusal, nothing left behind.
if [ "${PELORIX_HAVE_VIDEO:-ON}" = OFF ]; then
  check "render mp4 built without video" 1 "$cli" render "$demo" -o "$work/video/demo.mp4"
  contains "no video module message" "$work/err" "PELORIX_VIDEO=OFF"
  [ ! -e "$work/video" ] || { echo "FAIL: a refused video left a folder"; failures=$((failures + 1)); }
else
  check "render mp4" 0 "$cli" render "$demo" -o "$work/video/demo.mp4" --quiet
  [ -s "$work/video/demo.mp4" ] || { echo "FAIL: no mp4 written"; failures=$((failures + 1)); }
fi
if [ "${PELORIX_HAVE_VIDEO:-ON}" != OFF ] && [ "$(head -c 4 "$cli" | tail -c 3)" = ELF ]; then
  # a program, not the cross-test's wrapper
  mkdir -p "$work/lonely"
  cp "$cli" "$work/lonely/pelorix-cli"
  check "render mp4 without the module" 1 env PELORIX_MODULEDIR= "$work/lonely/pelorix-cli" \
    render "$demo" -o "$work/lonely/demo.mp4"
  contains "missing module message" "$work/err" "pelorix-video.so"
  [ -z "$(ls -A "$work/lonely" | grep -v '^pelorix-cli$')" ] ||
    { echo "FAIL: a file was left without the module"; failures=$((failures + 1)); }
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "all pelorix-cli checks passed"
