#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Hostile input on the command line: what would be lost, hang or read wrong is refused by name,
# and what is kept comes back byte for byte. Run in English.
set -u
cli=${PELORIX_CLI:?}
src=${PELORIX_SOURCE_DIR:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$src/examples/demo" "$work/demo"
rm -rf "$work/demo/out"
demo=$work/demo/demo.pxp
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

run() {  # run EXPECTED_STATUS COMMAND...: stdout and stderr in $work/out and $work/err
  local expected=$1
  shift
  timeout 60 "$@" >"$work/out" 2>"$work/err"
  local status=$?
  [ "$status" -eq "$expected" ] || { fail "$* exited $status, expected $expected"; sed 's/^/  | /' "$work/err" | head -5; }
}
said() { grep -qF -- "$1" "$work/err" || { fail "'$1' not said"; sed 's/^/  | /' "$work/err" | head -5; }; }

# A project whose extensions block holds what Pelorix does not read (a line without '=', a
# value with a lone CR, a second block, text after a bare LF) and a setting twice, with bytes
# that are no UTF-8 in a value.
head -c -0 "$demo" | sed '/^DATA_END:/,$d' >"$work/tail.pxp"
printf 'DATA_END:\r\nPELORIX_EXTENSIONS:\r\naudioVolume=0.5\r\na line of its own\r\nnote=one\rtwo\r\naudioVolume=0.9\r\nodd=\377\376\r\nEXTENSIONS_END:\r\nPELORIX_EXTENSIONS:\r\nmore=1\r\nEXTENSIONS_END:\ntrailing text\n' >>"$work/tail.pxp"
run 0 "$cli" save-as "$work/tail.pxp" "$work/again.pxp"
cmp -s "$work/tail.pxp" "$work/again.pxp" || fail "save-as changed the extensions block"
run 0 "$cli" info --json "$work/tail.pxp"
python3 - "$work/out" <<'PY' || fail "info --json: not valid UTF-8 JSON with one value per key"
import json, sys
raw = open(sys.argv[1], 'rb').read()
text = raw.decode('utf-8')  # strict: valid UTF-8 only
pairs = json.loads(text, object_pairs_hook=lambda p: p)
ext = dict(dict(pairs)['extensions'])
keys = [k for k, _ in dict(pairs)['extensions']]
assert len(keys) == len(set(keys)), keys
assert ext['audioVolume'] == '0.5', ext
PY

# Nothing is written over a file the project reads: an animation it shows, or a file of the
# series it shows (a project names folders with backslashes).
run 0 "$cli" render "$demo" -o "$work/demo/anim.apng" --frames 0-2
sed 's|bg\.png|anim.apng|' "$demo" >"$work/demo/anim.pxp"
run 1 "$cli" render "$work/demo/anim.pxp" -o "$work/demo/anim.apng"
said "anim.apng is a file the project reads"
mkdir -p "$work/series"
for i in 0 1 2; do cp "$work/demo/bg.png" "$work/series/shot000$i.png"; done
sed 's|bg\.png|..\\series\\shot####.png|' "$demo" >"$work/demo/series.pxp"
run 1 "$cli" render "$work/demo/series.pxp" -o "$work/series" --name shot --frames 0-2
said "shot0000.png is a file the project reads"
# A number too large for a frame number is said; the render goes on without that picture.
cp "$work/demo/bg.png" "$work/series/big99999999999999999999.png"
sed 's|bg\.png|..\\series\\big####################.png|' "$demo" >"$work/demo/big.pxp"
run 5 "$cli" render "$work/demo/big.pxp" -o "$work/bigout" --frames 0-0
said "big99999999999999999999.png"

# Numbers that are none, and sizes beyond what a frame can be, are usage errors with words.
for option in "--scale nan" "--scale 0" "--scale 1e18" "--audio-volume nan" \
              "--audio $work/demo/bg.png --audio-offset nan"; do
  # shellcheck disable=SC2086
  run 64 "$cli" render "$demo" -o "$work/x" $option
  grep -q '[0-9]\{30\}' "$work/err" && fail "$option: a number of 30 digits in the message"
done
run 64 "$cli" render "$demo" -o "$work/x" --qualty 50
said "did you mean '--quality'?"

# Pipes are no pictures, sounds or parts: refused at once instead of waiting for ever.
mkfifo "$work/fifo.apng"
run 0 "$cli" render "$demo" -o "$work/whole.apng" --frames 0-1
run 1 "$cli" join "$work/whole.apng" "$work/fifo.apng" -o "$work/joined.apng"
said "fifo.apng cannot be joined"
# A join never writes over one of its parts, whatever the name says.
ln -s whole.apng "$work/link.apng"
for output in "$work/whole.apng" "$work/./whole.apng" "$work/link.apng"; do
  run 1 "$cli" join "$work/whole.apng" -o "$output"
  said "is a part to join and the output"
done
[ -f "$work/whole.apng" ] && [ -s "$work/whole.apng" ] || fail "a part was overwritten"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
