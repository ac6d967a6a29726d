#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes po/pelorix.pot from the texts marked in the sources (_, N_ and qtr), and brings the
# translations up to date with it (new ids appear untranslated, so the catalogue check fails
# until they are translated).
#   scripts/update-pot.sh [OUTPUT]     (default po/pelorix.pot; the check writes elsewhere)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-po/pelorix.pot}
# shellcheck disable=SC2046
xgettext --language=C++ --from-code=UTF-8 --keyword=_ --keyword=N_ --keyword=qtr \
  --flag=_:1:pass-c-format --flag=formatC:1:c-format --package-name=pelorix \
  --msgid-bugs-address="" --no-location --sort-output --no-wrap \
  -o "$out" $(git ls-files 'src/*.cpp' 'src/*.h') 2>&1 |
  { grep -vE 'msgid-bugs-address|Makevars|MSGID_BUGS_ADDRESS|command line option' || true; } >&2
if [ "$out" = po/pelorix.pot ]; then
  for po in $(ls po/*.po 2>/dev/null); do
    msgmerge --quiet --update --backup=none --no-wrap --no-fuzzy-matching "$po" "$out"
  done
fi
