#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages Pelorix builds with, when any is missing.
# Runs apt-get through sudo when not root.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config ccache git
  qt6-base-dev qt6-multimedia-dev
  libpng-dev zlib1g-dev libisal-dev libdeflate-dev libhwy-dev libturbojpeg0-dev libgif-dev libwebp-dev libtiff-dev
  libcli11-dev libgtest-dev libbenchmark-dev
  libimagequant-dev libavcodec-dev libavformat-dev libswscale-dev libswresample-dev libavutil-dev
  pybind11-dev python3-dev python3-numpy python3-pytest librlottie-dev
  clang-format locales parallel gettext fonts-noto-cjk qt6-translations-l10n
)
if [ "${PELORIX_EXTRA_PACKAGES:-}" ]; then
  read -r -a extra <<<"$PELORIX_EXTRA_PACKAGES"
  packages+=("${extra[@]}")
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
