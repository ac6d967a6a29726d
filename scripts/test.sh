#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs the whole test suite through ctest.
#   scripts/test.sh            plain build (build/)
#   scripts/test.sh asan       AddressSanitizer + UndefinedBehaviorSanitizer build (build-asan/)
#   scripts/test.sh tsan       ThreadSanitizer build of the core and CLI tests (build-tsan/)
#   scripts/test.sh novideo    the core and CLI built without the video module (build-novideo/)
set -euo pipefail
cd "$(dirname "$0")/.."

flavour=${1:-plain}
scripts/setup-deps.sh
scripts/build.sh "$flavour"
case "$flavour" in
  plain) dir=build ;;
  asan) dir=build-asan ;;
  tsan) dir=build-tsan ;;
  novideo) dir=build-novideo ;;
esac
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp}
ctest --test-dir "$dir" --output-on-failure -j "${PELORIX_JOBS:-$(nproc)}"
