#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a source file lacks the licence line in its first two lines. The AppStream metadata
# carries its own (CC0), and the Debian changelog's format has no place for one.
set -euo pipefail
cd "$(dirname "$0")/.."
bad=0
while IFS= read -r -d '' file; do
  licence='GPL-3.0-or-later'
  [[ $file == *.metainfo.xml.in ]] && licence='CC0-1.0'
  if ! head -n 2 "$file" | grep -q "SPDX-License-Identifier: $licence"; then
    echo "no SPDX-License-Identifier line: $file"
    bad=1
  fi
done < <(git ls-files -z -- '*.cpp' '*.h' '*.sh' '*.cmake' '*.in' 'CMakeLists.txt' '*/CMakeLists.txt' '.ci/run' \
  ':(exclude)packaging/changelog.in')
exit $bad
