#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets with clang and runs each for SECONDS (default 600). The CLI and the
# video module are built with them, warnings as errors: Clang's check of the code GCC builds.
#   fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
PELORIX_EXTRA_PACKAGES="clang libclang-rt-14-dev" scripts/setup-deps.sh
scripts/build.sh plain
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DPELORIX_FUZZ=ON -DPELORIX_BUILD_GUI=OFF \
  -DPELORIX_BUILD_TESTS=OFF -DPELORIX_BUILD_BENCH=OFF -DPELORIX_WERROR=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j "$(nproc)"
fuzz/make_seeds.sh build build-fuzz/seeds
status=0
for target in project_file_fuzzer bmp_fuzzer image_fuzzer moving_source_fuzzer part_reader_fuzzer; do
  case $target in
    project_file_fuzzer) seeds=build-fuzz/seeds/project ;;
    bmp_fuzzer) seeds=build-fuzz/seeds/bmp ;;
    image_fuzzer) seeds=build-fuzz/seeds/image ;;
    moving_source_fuzzer | part_reader_fuzzer) seeds=build-fuzz/seeds/moving ;;
  esac
  corpus=build-fuzz/corpus/$target
  mkdir -p "$corpus" build-fuzz/artifacts
  echo "== $target for $seconds s"
  build-fuzz/fuzz/$target "$corpus" "$seeds" -max_total_time="$seconds" -rss_limit_mb=4096 \
    -timeout=10 -artifact_prefix=build-fuzz/artifacts/$target- -print_final_stats=1 \
    >build-fuzz/$target.log 2>&1 || status=1
  grep -E "^stat::|Done|ERROR|SUMMARY|crash-|timeout-|oom-" build-fuzz/$target.log || true
done
# A crash, a leak or a time-out found is a failure (CI runs this for a short time).
exit $status
