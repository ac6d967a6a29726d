#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a source file lacks the licence line in its first two lines.
set -euo pipefail
cd "$(dirname "$0")/.."
bad=0
while IFS= read -r -d '' file; do
  if ! head -n 2 "$file" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later'; then
    echo "no SPDX-License-Identifier line: $file"
    bad=1
  fi
done < <(git ls-files -z -- '*.cpp' '*.h' '*.sh' '*.cmake' '*.in' 'CMakeLists.txt' '*/CMakeLists.txt' '.ci/run')
exit $bad
