#!/usr/bin/env bash
# End-to-end checks of pelorix-cli: exit statuses, output and files.
set -u
cli=${PELORIX_CLI:?}
src=${PELORIX_SOURCE_DIR:?}
demo=$src/examples/demo/demo.pxp
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
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
contains "info layer" "$work/out" " レイヤ名=ロゴ   枚数=2"
check "info missing" 2 "$cli" info "$work/missing.pxp"
contains "missing message" "$work/err" "layerinfoファイルが開けません"
printf 'PELORIX_PROJECT:\r\nx\r\n' >"$work/bad.pxp"
check "info malformed" 3 "$cli" info "$work/bad.pxp"
contains "malformed message" "$work/err" "layerinfoファイルが異常です"

# info --json
check "json demo" 0 "$cli" info --json "$demo"
contains "json result" "$work/out" '"result":4'
contains "json layer" "$work/out" '"name":"スプライト"'
contains "json key" "$work/out" '"keyColor":{"blue":255,"green":0,"red":255,"reserved":0}'
if command -v python3 >/dev/null; then
  python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert d["layers"][1]["sources"][1]["rotation"]==20' "$work/out" \
    || { echo "FAIL: json does not parse or lacks the source fields"; failures=$((failures + 1)); }
fi
check "json missing" 2 "$cli" info --json "$work/missing.pxp"
contains "json missing result" "$work/out" '"result":-1'
check "json malformed" 3 "$cli" info --json "$work/bad.pxp"
contains "json malformed keeps the name" "$work/out" '"name":"x"'

# save-as
check "save-as" 0 "$cli" save-as "$demo" "$work/copy.pxp"
cmp -s "$demo" "$work/copy.pxp" || { echo "FAIL: save-as is not byte-identical"; failures=$((failures + 1)); }
check "save-as cp932" 0 "$cli" save-as "$demo" "$work/sjis.pxp" --encoding cp932
check "save-as back" 0 "$cli" save-as "$work/sjis.pxp" "$work/sjis2.pxp"
cmp -s "$work/sjis.pxp" "$work/sjis2.pxp" || { echo "FAIL: cp932 file changed on save"; failures=$((failures + 1)); }
check "save-as utf-8" 0 "$cli" save-as "$work/sjis.pxp" "$work/utf8.pxp" --encoding utf-8
cmp -s "$demo" "$work/utf8.pxp" || { echo "FAIL: cp932 -> utf-8 differs from the original"; failures=$((failures + 1)); }
check "save-as malformed" 3 "$cli" save-as "$work/bad.pxp" "$work/x.pxp"
[ ! -e "$work/x.pxp" ] || { echo "FAIL: malformed project was written"; failures=$((failures + 1)); }
check "save-as unwritable" 1 "$cli" save-as "$demo" "$work/no/such/dir/x.pxp"
contains "unwritable message" "$work/err" "layerinfoファイルが保存できません"
check "usage" 106 "$cli" save-as

# convert
check "convert" 0 "$cli" convert "$src/examples/demo/sprite1.bmp" "$work/sprite.png"
check "convert back" 0 "$cli" convert "$work/sprite.png" "$work/sprite.bmp"
cmp -s "$src/examples/demo/sprite1.bmp" "$work/sprite.bmp" || { echo "FAIL: bmp -> png -> bmp changed the file"; failures=$((failures + 1)); }
check "convert missing" 1 "$cli" convert "$work/none.png" "$work/x.png"
contains "convert missing message" "$work/err" "Load image failed"
check "convert unknown type" 1 "$cli" convert "$src/examples/demo/sprite1.bmp" "$work/x.xyz"
contains "unknown type message" "$work/err" "Save image failed:"
[ ! -e "$work/x.xyz" ] || { echo "FAIL: a file of unknown type was written"; failures=$((failures + 1)); }

# frame
check "frame" 0 "$cli" frame "$demo" --at 1.2 -o "$work/f.png"
check "frame decodes" 0 "$cli" convert "$work/f.png" "$work/f.bmp"
contains "frame size" "$work/err" "320 x 240, 24 bits"
check "frame single layer" 0 "$cli" frame "$demo" --at 0.2 --layer 3 -o "$work/sprite-only.bmp"
check "frame no such layer" 1 "$cli" frame "$demo" --at 0 --layer 42 -o "$work/x.png"
check "frame after the end" 0 "$cli" frame "$demo" --at 100 -o "$work/black.bmp"
check "frame missing project" 2 "$cli" frame "$work/none.pxp" --at 0 -o "$work/x.png"

# render
check "render demo" 0 "$cli" render "$demo" -o "$work/full" --quiet
[ "$(ls "$work/full" | wc -l)" -eq 37 ] || { echo "FAIL: render wrote $(ls "$work/full" | wc -l) files, expected 37"; failures=$((failures + 1)); }
[ -e "$work/full/frame0036.png" ] || { echo "FAIL: frame0036.png missing"; failures=$((failures + 1)); }
check "render log lines" 0 "$cli" render "$demo" -o "$work/logged" --format bmp --name shot
contains "total time line" "$work/err" "トータルタイム　3.00　画面数　36"
contains "elapsed line" "$work/err" "変換時間は"
contains "summary" "$work/out" "37 frames in"
[ -e "$work/logged/shot0000.bmp" ] || { echo "FAIL: --name/--format ignored"; failures=$((failures + 1)); }
check "render gif refused" 1 "$cli" render "$demo" -o "$work/gif" --format gif
contains "gif message" "$work/err" "GIF保存は現在サポート外です。"
check "render gif allowed" 0 "$cli" render "$demo" -o "$work/gif" --format gif --allow-gif --frames 0-1 --quiet
[ -e "$work/gif/frame0001.gif" ] || { echo "FAIL: --allow-gif wrote nothing"; failures=$((failures + 1)); }
check "render unknown format" 1 "$cli" render "$demo" -o "$work/xyz" --format xyz
contains "unknown format" "$work/err" "Save image failed:"
contains "unknown format code" "$work/err" "80004005"
check "render bad range" 1 "$cli" render "$demo" --frames 9-3
check "render missing project" 2 "$cli" render "$work/none.pxp"
: >"$work/blocker"
check "render folder" 1 "$cli" render "$demo" -o "$work/blocker/out"
contains "folder message" "$work/err" "cannot create the folder"

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
  printf '%s/examples/demo/bg.png\r\n100.00,0,0,1.3,10,1,0,0\r\n1,\r\nLAYER_END:\r\nDATA_END:\r\n' "$src"
} >"$work/long.pxp"
"$cli" render "$work/long.pxp" --jobs 2 --quiet --png-level 9 >/dev/null 2>"$work/err" &
pid=$!
sleep 1
kill -INT $pid
wait $pid
status=$?
[ "$status" -eq 4 ] || { echo "FAIL: interrupted render exited $status, expected 4"; failures=$((failures + 1)); }
count=$(ls "$work/long" | wc -l)
last=$(printf 'f%04d.png' $((count - 1)))
if [ "$count" -eq 0 ] || [ "$count" -ge 3000 ] || [ ! -e "$work/long/$last" ]; then
  echo "FAIL: interrupted render left $count files, not a prefix"
  failures=$((failures + 1))
fi
ls -a "$work/long" | grep -q pelorix-tmp && { echo "FAIL: a temporary file was left behind"; failures=$((failures + 1)); }

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "all pelorix-cli checks passed"
