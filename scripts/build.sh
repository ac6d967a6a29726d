#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds one flavour of Pelorix with Ninja.
#   scripts/build.sh [plain|asan|tsan|novideo] [extra cmake arguments...]
# Build folders: build/ (plain), build-asan/, build-tsan/, build-novideo/ (core and CLI without
# the video module).
set -euo pipefail
cd "$(dirname "$0")/.."

flavour=${1:-plain}
shift || true
case "$flavour" in
  plain) dir=build; flags=() ;;
  asan) dir=build-asan; flags=(-DPELORIX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DPELORIX_BUILD_BENCH=OFF) ;;
  tsan) dir=build-tsan; flags=(-DPELORIX_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELORIX_BUILD_GUI=OFF -DPELORIX_BUILD_BENCH=OFF) ;;
  novideo) dir=build-novideo; flags=(-DPELORIX_VIDEO=OFF -DPELORIX_BUILD_GUI=OFF -DPELORIX_BUILD_BENCH=OFF) ;;
  *) echo "usage: $0 [plain|asan|tsan|novideo]" >&2; exit 2 ;;
esac

# ccache: paths relative to the checkout, so a fresh clone elsewhere hits the cache.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
jobs=${PELORIX_JOBS:-$(nproc)}
cmake -S . -B "$dir" -G Ninja -DPELORIX_WERROR=ON "${flags[@]}" "$@" >/dev/null
cmake --build "$dir" -j "$jobs"
