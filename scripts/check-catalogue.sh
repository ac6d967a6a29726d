#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a text marked in the sources is missing from po/pelorix.pot or from a translation,
# when a translation has untranslated or fuzzy entries, or when a format string's conversions
# differ from its id's.
set -euo pipefail
cd "$(dirname "$0")/.."
fresh=$(mktemp --suffix=.pot)
trap 'rm -f "$fresh"' EXIT
scripts/update-pot.sh "$fresh"
status=0
msgcmp --use-untranslated po/pelorix.pot "$fresh" || { echo "po/pelorix.pot is out of date: run scripts/update-pot.sh"; status=1; }
for po in po/*.po; do
  msgcmp "$po" "$fresh" || status=1
  stats=$(msgfmt --check-format --check-domain --statistics -o /dev/null "$po" 2>&1) || status=1
  echo "$po: $stats"
  if grep -qE 'untranslated|fuzzy' <<<"$stats"; then
    echo "$po has untranslated or fuzzy entries"
    status=1
  fi
done
exit $status
