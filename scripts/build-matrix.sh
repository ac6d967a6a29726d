#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Pelorix, warnings as errors, with every compiler and build type users build it with.
#   scripts/build-matrix.sh                  GCC 12 and Clang 14 x Release, RelWithDebInfo,
#                                            Debug, MinSizeRel: compile and link everything
#   scripts/build-matrix.sh --test           and run the test suite of each build
#   PELORIX_MATRIX="gcc:Release clang:Debug" scripts/build-matrix.sh    a chosen part
# Build folders: build-matrix/<compiler>-<type>/.
set -euo pipefail
cd "$(dirname "$0")/.."

run_tests=false
[ "${1:-}" = --test ] && run_tests=true

PELORIX_EXTRA_PACKAGES="clang-14 ${PELORIX_EXTRA_PACKAGES:-}" scripts/setup-deps.sh
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1 QT_QPA_PLATFORM=offscreen
jobs=${PELORIX_JOBS:-$(nproc)}

matrix=${PELORIX_MATRIX:-}
if [ -z "$matrix" ]; then
  for compiler in gcc clang; do
    for type in Release RelWithDebInfo Debug MinSizeRel; do matrix+=" $compiler:$type"; done
  done
fi

failed=()
for entry in $matrix; do
  compiler=${entry%%:*}
  type=${entry#*:}
  case "$compiler" in
    gcc) cc=gcc-12; cxx=g++-12 ;;
    clang) cc=clang-14; cxx=clang++-14 ;;
    *) echo "unknown compiler $compiler (gcc or clang)" >&2; exit 64 ;;
  esac
  dir=build-matrix/$compiler-$type
  echo "== $compiler $type ($dir)"
  start=$SECONDS
  if cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DCMAKE_C_COMPILER="$cc" \
      -DCMAKE_CXX_COMPILER="$cxx" -DPELORIX_WERROR=ON >/dev/null &&
    cmake --build "$dir" -j "$jobs" >"$dir.log" 2>&1 &&
    { ! $run_tests || ctest --test-dir "$dir" -j "$jobs" --output-on-failure >>"$dir.log" 2>&1; }; then
    echo "   ok in $((SECONDS - start)) s"
  else
    echo "   FAILED (log: $dir.log)"
    grep -E "error|warning|Failed|FAILED" "$dir.log" | head -20 || true
    failed+=("$compiler:$type")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "Failed: ${failed[*]}" >&2
  exit 1
fi
echo "Every build succeeded:$matrix"
