#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# pelorix-cli in English: the demo's info, a render and a failing load print no Japanese at all.
set -u
cli=${PELORIX_CLI:?}
src=${PELORIX_SOURCE_DIR:?}
demo=$src/examples/demo/demo.pxp
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

no_japanese() {  # no_japanese DESCRIPTION FILE...
  local what=$1
  shift
  if grep -qP '[\x{3000}-\x{30FF}\x{4E00}-\x{9FFF}\x{FF00}-\x{FFEF}]' "$@"; then
    echo "FAIL: $what printed Japanese:"
    grep -hP '[\x{3000}-\x{30FF}\x{4E00}-\x{9FFF}\x{FF00}-\x{FFEF}]' "$@" | head -5 | sed 's/^/  | /'
    failures=$((failures + 1))
  fi
}

expect() {  # expect DESCRIPTION FILE TEXT
  grep -qF -- "$3" "$2" || { echo "FAIL: $1: '$3' not in:"; sed 's/^/  | /' "$2" | head; failures=$((failures + 1)); }
}

"$cli" info "$demo" >"$work/out" 2>"$work/err"
no_japanese "info" "$work/out" "$work/err"
expect "info summary" "$work/out" "Save folder out  Save file name frame  Format png"
"$cli" render "$demo" -o "$work/frames" --format bmp >"$work/out" 2>"$work/err"
no_japanese "render" "$work/out" "$work/err"
expect "total time" "$work/err" "Total time 3.00 s, 36 frames"
expect "elapsed" "$work/err" "Conversion took"
"$cli" info "$work/missing.pxp" >"$work/out" 2>"$work/err"
no_japanese "failing load" "$work/out" "$work/err"
expect "missing project" "$work/err" "The project file cannot be opened"
# --lang wins over the environment.
LANG=C "$cli" --lang en info "$work/missing.pxp" >/dev/null 2>"$work/err"
expect "--lang en" "$work/err" "The project file cannot be opened"
LANG=en_US.UTF-8 "$cli" --lang ja info "$work/missing.pxp" >/dev/null 2>"$work/err"
expect "--lang ja" "$work/err" "layerinfoファイルが開けません"
# One language per run: Japanese progress and summary with Japanese log lines.
"$cli" render "$demo" -o "$work/ja" --format bmp --lang ja >"$work/out" 2>"$work/err"
expect "japanese progress" "$work/err" "37 / 37 画面 (100 %)"
expect "japanese summary" "$work/out" "37 画面を"
grep -q "frame" "$work/err" "$work/out" && { echo "FAIL: English in a Japanese run"; failures=$((failures + 1)); }
# A language without messages gets English; C keeps Japanese.
LANG=de_DE.UTF-8 "$cli" info "$demo" >"$work/out" 2>"$work/err"
expect "german gets english" "$work/out" "Save folder"
LANG=C "$cli" info "$demo" >"$work/out" 2>"$work/err"
expect "C gets japanese" "$work/out" "保存フォルダ"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "pelorix-cli speaks English"
