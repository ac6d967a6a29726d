#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds the core, pelorix-cli and their tests for another Debian architecture and runs
# the tests under qemu-user.
#   scripts/cross-test.sh arm64                   (also: ppc64el, s390x, armhf, riscv64)
#   scripts/cross-test.sh arm64 --without-video   the core and CLI without the video module
#                                                 (no FFmpeg packages for the architecture)
# Installs crossbuild-essential-<arch>, qemu-user-static and the :<arch> library packages
# (dpkg --add-architecture) when missing. ISA-L's packages cannot be installed for two
# architectures at once, so its :<arch> files are unpacked into the build folder instead.
# Build folder: build-cross-<arch>/.
set -euo pipefail
cd "$(dirname "$0")/.."

arch=${1:-arm64}
video=ON
[ "${2:-}" = --without-video ] && video=OFF
case "$arch" in
  arm64) triplet=aarch64-linux-gnu; cpu=aarch64; qemu=qemu-aarch64-static ;;
  armhf) triplet=arm-linux-gnueabihf; cpu=arm; qemu=qemu-arm-static ;;
  ppc64el) triplet=powerpc64le-linux-gnu; cpu=ppc64le; qemu=qemu-ppc64le-static ;;
  s390x) triplet=s390x-linux-gnu; cpu=s390x; qemu=qemu-s390x-static ;;
  riscv64) triplet=riscv64-linux-gnu; cpu=riscv64; qemu=qemu-riscv64-static ;;
  *) echo "usage: $0 arm64|armhf|ppc64el|s390x|riscv64" >&2; exit 64 ;;
esac

libraries=(libpng-dev zlib1g-dev libdeflate-dev libhwy-dev libturbojpeg0-dev libgif-dev
  libwebp-dev libtiff-dev libgtest-dev libimagequant-dev)
[ "$video" = ON ] && libraries+=(libavcodec-dev libavformat-dev libswscale-dev libswresample-dev
  libavutil-dev)
packages=(crossbuild-essential-"$arch" qemu-user-static)
for l in "${libraries[@]}"; do packages+=("$l:$arch"); done

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
  "${sudo[@]}" dpkg --add-architecture "$arch"
  "${sudo[@]}" apt-get update -qq
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi
scripts/setup-deps.sh # the host's tools: cmake, ninja, ccache, CLI11's headers

dir=build-cross-$arch
mkdir -p "$dir"
sysroot=$PWD/$dir/sysroot
if [ ! -f "$sysroot/usr/lib/$triplet/pkgconfig/libisal.pc" ]; then
  rm -rf "$sysroot"
  mkdir -p "$sysroot"
  debs=$(mktemp -d)
  chmod 755 "$debs" # apt downloads as its own user
  (cd "$debs" && apt-get download -qq "libisal2:$arch" "libisal-dev:$arch")
  for deb in "$debs"/*.deb; do dpkg-deb -x "$deb" "$sysroot"; done
  rm -rf "$debs"
  sed -i "s|^prefix=.*|prefix=$sysroot/usr|" "$sysroot/usr/lib/$triplet/pkgconfig/libisal.pc"
fi
cat >"$dir/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR $cpu)
set(CMAKE_C_COMPILER $triplet-gcc)
set(CMAKE_CXX_COMPILER $triplet-g++)
set(CMAKE_LIBRARY_ARCHITECTURE $triplet)
set(CMAKE_CROSSCOMPILING_EMULATOR $(command -v "$qemu"))
set(ENV{PKG_CONFIG_LIBDIR} $sysroot/usr/lib/$triplet/pkgconfig:/usr/lib/$triplet/pkgconfig:/usr/share/pkgconfig)
EOF

export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/$dir/toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELORIX_WERROR=ON -DPELORIX_BUILD_GUI=OFF \
  -DPELORIX_BUILD_BENCH=OFF -DPELORIX_VIDEO="$video" >/dev/null
cmake --build "$dir" -j "${PELORIX_JOBS:-$(nproc)}"
file "$dir/src/cli/pelorix-cli"
"$qemu" "$dir/src/cli/pelorix-cli" --version
# The tests run through qemu (ctest uses the emulator set in the toolchain file).
"$qemu" "$dir/tests/test_render" --gtest_filter=BlitKernel.EveryPathGivesTheSameBytes | grep compared
ctest --test-dir "$dir" --output-on-failure -j "${PELORIX_JOBS:-$(nproc)}"
