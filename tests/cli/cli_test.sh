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

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "all pelorix-cli checks passed"
