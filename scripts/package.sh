#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian packages of Pelorix and checks them.
#   scripts/package.sh             Release build in build-release/ with Debian's hardening flags:
#                                  pelorix-cli, pelorix, pelorix-video and python3-pelorix .deb files, checked with
#                                  lintian, hardening-check, appstreamcli, desktop-file-validate
#                                  and man -l; pelorix-cli must not depend on Qt
#   scripts/package.sh --reproduce the same, then a second build in build-release2/ whose
#                                  packages must be identical byte for byte
#   scripts/package.sh --install   the same as the first, then installs the packages here,
#                                  renders the installed example with the installed pelorix-cli,
#                                  and removes them again unless they were installed before
set -euo pipefail
cd "$(dirname "$0")/.."

install=false
reproduce=false
for arg in "$@"; do
  case $arg in
    --install) install=true ;;
    --reproduce) reproduce=true ;;
    *) echo "usage: $0 [--install] [--reproduce]" >&2; exit 2 ;;
  esac
done

PELORIX_EXTRA_PACKAGES="help2man librsvg2-bin lintian dpkg-dev devscripts appstream desktop-file-utils man-db ${PELORIX_EXTRA_PACKAGES:-}" \
  scripts/setup-deps.sh

# Reproducible: every time stamp is the last commit's, and no path of this machine stays in a
# binary (Debian's flags map the source folder to '.'; the packages are stripped).
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 0)
export SOURCE_DATE_EPOCH
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# Debian 12's flags, with fortification at level 3 (sizes known at run time count too) and the
# processor's control-flow protection, which its dpkg does not add yet.
cppflags=$(dpkg-buildflags --get CPPFLAGS | sed 's/-D_FORTIFY_SOURCE=2/-D_FORTIFY_SOURCE=3/')
case $(dpkg --print-architecture) in
  amd64 | i386) branch=-fcf-protection=full ;;
  arm64) branch=-mbranch-protection=standard ;;
  *) branch= ;;
esac
cflags="$cppflags $(dpkg-buildflags --get CFLAGS) $branch"
cxxflags="$cppflags $(dpkg-buildflags --get CXXFLAGS) $branch"
ldflags=$(dpkg-buildflags --get LDFLAGS)
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1

# Builds into $1 and leaves the four packages there.
build() {
  local dir=$1
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_INSTALL_DOCDIR=share/doc/pelorix-cli -DPELORIX_VIDEO=ON \
    -DCMAKE_C_FLAGS_RELEASE= -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
    -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
    -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" \
    -DPELORIX_PYTHON=ON -DPELORIX_WERROR=ON -DPELORIX_BUILD_TESTS=OFF -DPELORIX_BUILD_BENCH=OFF >/dev/null
  cmake --build "$dir" -j "${PELORIX_JOBS:-$(nproc)}"
  rm -f "$dir"/pelorix*.deb "$dir"/python3-pelorix*.deb
  (cd "$dir" && cpack -G DEB >/dev/null)
}

dir=build-release
build "$dir"
debs=("$dir"/pelorix-cli_*.deb "$dir"/pelorix_*.deb "$dir"/pelorix-video_*.deb "$dir"/python3-pelorix_*.deb)
for deb in "${debs[@]}"; do
  echo "Package: $deb"
  dpkg-deb --field "$deb" Package Version Architecture Depends Recommends
done

status=0
check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAILED: $what" >&2
    status=1
  fi
}

# The installed trees, unpacked, for the file checks.
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$tree"; done
check "pelorix-cli depends on no Qt library" \
  bash -c "! dpkg-deb --field ${debs[0]} Depends | grep -qi qt"
check "pelorix-cli depends on no FFmpeg library" \
  bash -c "! dpkg-deb --field ${debs[0]} Depends | grep -qE 'libav|libsw'"
# Control-flow protection is compiled in (-fcf-protection), but Debian 12's C start files
# (crt1.o, crti.o) carry no such marking, so no program linked on Debian 12 can; the linker
# rightly leaves it off, and hardening-check is told not to ask for it.
for elf in "$tree"/usr/bin/* "$tree"/usr/lib/*/pelorix/*.so "$tree"/usr/lib/pelorix/*.so \
  "$tree"/usr/lib/python3/dist-packages/pelorix/*.so; do
  [ -e "$elf" ] || continue
  check "hardening-check $(basename "$elf")" hardening-check --quiet --nocfprotection "$elf"
done
check "appstreamcli validate" appstreamcli validate --no-net --explain \
  "$tree"/usr/share/metainfo/io.github.pelorix.Pelorix.metainfo.xml
check "desktop-file-validate" desktop-file-validate \
  "$tree"/usr/share/applications/io.github.pelorix.Pelorix.desktop
pages=("$tree"/usr/share/man/man1/*.1.gz)
check "two man pages in the packages" test "${#pages[@]}" -eq 2 -a -f "${pages[0]}"
for page in "${pages[@]}"; do
  # Any warning of the formatter (bad macros, lines it cannot fit) counts as a failure.
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  check "man -l $(basename "$page")" test -z "$warnings"
  [ -z "$warnings" ] || echo "$warnings" >&2
  check "no unreadable characters in $(basename "$page")" bash -c "! zcat '$page' | grep -q '??'"
done
check "pelorix(1) has the keyboard and mouse" bash -c \
  "zcat '$tree/usr/share/man/man1/pelorix.1.gz' | grep -q 'KEYBOARD AND MOUSE'"
check "pelorix-cli(1) says the exit status once" bash -c \
  "[ \$(zcat '$tree/usr/share/man/man1/pelorix-cli.1.gz' | grep -ci 'exit status') -eq 1 ]"
# Errors fail the check; the warnings left on purpose are listed in packaging/lintian-overrides.
for deb in "${debs[@]}"; do
  check "lintian $(basename "$deb")" lintian --fail-on error \
    --suppress-tags-from-file packaging/lintian-overrides "$deb"
done

if $reproduce; then
  build build-release2
  for deb in "${debs[@]}"; do
    check "$(basename "$deb") is built again byte for byte" \
      cmp "$deb" "build-release2/$(basename "$deb")"
  done
fi

if $install; then
  sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  installed=()
  for p in pelorix-cli pelorix pelorix-video python3-pelorix; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" && installed+=("$p")
  done
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${debs[@]/#/./}" >/dev/null
  out=$(mktemp -d)
  check "installed pelorix-cli renders the installed example" \
    /usr/bin/pelorix-cli render -q /usr/share/pelorix/examples/demo/demo.pxp -o "$out"
  frames=$(find "$out" -name '*.png' | wc -l)
  echo "rendered $frames frames into $out"
  check "the installed example has frames" test "$frames" -gt 0
  # A user who may not write under /usr/share is told to give -o (root may write anywhere).
  check "the installed example without -o says to give one" bash -c \
    "setpriv --reuid=65534 --regid=65534 --clear-groups /usr/bin/pelorix-cli render -q \
       /usr/share/pelorix/examples/demo/demo.pxp 2>&1 | grep -q -- '-o FOLDER'"
  check "installed pelorix-cli writes a video with the installed module" \
    /usr/bin/pelorix-cli render -q /usr/share/pelorix/examples/demo/demo.pxp -o "$out/demo.mp4"
  check "the installed man page opens" bash -c "man -w pelorix-cli >/dev/null"
  check "the installed English catalogue is found" bash -c \
    "LANG=en_US.UTF-8 /usr/bin/pelorix-cli info /usr/share/pelorix/examples/demo/demo.pxp | grep -q 'Save folder'"
  check "the installed Python package composes the installed example" /usr/bin/python3 -c \
    "import pelorix; f = pelorix.Project.load('/usr/share/pelorix/examples/demo/demo.pxp').frame(1); assert f.shape == (240, 320, 4)"
  rm -rf "$out"
  remove=()
  for p in python3-pelorix pelorix pelorix-video pelorix-cli; do
    [[ " ${installed[*]} " == *" $p "* ]] || remove+=("$p")
  done
  [ ${#remove[@]} -eq 0 ] ||
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get remove -y -qq "${remove[@]}" >/dev/null
fi
exit $status
