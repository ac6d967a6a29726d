#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package of Pelorix and checks it.
#   scripts/package.sh             Release build in build-release/, pelorix_<version>_<arch>.deb,
#                                  lintian, appstreamcli, desktop-file-validate and man -l
#   scripts/package.sh --install   the same, then apt-get installs the package on this machine,
#                                  renders the installed example with the installed pelorix-cli,
#                                  and removes the package again unless it was installed before
set -euo pipefail
cd "$(dirname "$0")/.."

install=false
[ "${1:-}" = --install ] && install=true

PELORIX_EXTRA_PACKAGES="help2man librsvg2-bin lintian dpkg-dev appstream desktop-file-utils man-db ${PELORIX_EXTRA_PACKAGES:-}" \
  scripts/setup-deps.sh

export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
dir=build-release
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DPELORIX_WERROR=ON -DPELORIX_BUILD_TESTS=OFF -DPELORIX_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j "${PELORIX_JOBS:-$(nproc)}"
rm -f "$dir"/pelorix_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/pelorix_*.deb)
echo "Package: $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends Recommends

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

# The installed tree, unpacked, for the file checks.
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
check "appstreamcli validate" appstreamcli validate --no-net --explain \
  "$tree"/usr/share/metainfo/io.github.pelorix.Pelorix.metainfo.xml
check "desktop-file-validate" desktop-file-validate \
  "$tree"/usr/share/applications/io.github.pelorix.Pelorix.desktop
pages=("$tree"/usr/share/man/man1/*.1.gz)
check "two man pages in the package" test "${#pages[@]}" -eq 2 -a -f "${pages[0]}"
for page in "${pages[@]}"; do
  # Any warning of the formatter (bad macros, lines it cannot fit) counts as a failure.
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  check "man -l $(basename "$page")" test -z "$warnings"
  [ -z "$warnings" ] || echo "$warnings" >&2
done
# Errors fail the check; the warnings left on purpose are listed in packaging/lintian-overrides.
check "lintian" lintian --fail-on error --suppress-tags-from-file packaging/lintian-overrides "$deb"

if $install; then
  sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  was_installed=false
  dpkg-query -W -f='${Status}' pelorix 2>/dev/null | grep -q "install ok installed" &&
    was_installed=true
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "./$deb" >/dev/null
  out=$(mktemp -d)
  check "installed pelorix-cli renders the installed example" \
    /usr/bin/pelorix-cli render -q /usr/share/pelorix/examples/demo/demo.pxp -o "$out"
  frames=$(find "$out" -name '*.png' | wc -l)
  echo "rendered $frames frames into $out"
  check "the installed example has frames" test "$frames" -gt 0
  check "the installed man page opens" bash -c "man -w pelorix-cli >/dev/null"
  check "the installed English catalogue is found" bash -c \
    "LANG=en_US.UTF-8 /usr/bin/pelorix-cli info /usr/share/pelorix/examples/demo/demo.pxp | grep -q 'Save folder'"
  rm -rf "$out"
  if ! $was_installed; then
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get remove -y -qq pelorix >/dev/null
  fi
fi
exit $status
