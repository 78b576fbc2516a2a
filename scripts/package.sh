#!/usr/bin/env bash
# package.sh - builds the Debian packages (libnysnmp1, libnysnmp-dev,
# nysnmp-tools) into build/packages.
#
# Installs what the build needs (dpkg-dev, debhelper and debian/control's
# Build-Depends) when it is missing, copies the source tree to
# build/deb/nysnmp-VERSION, so that dpkg-buildpackage leaves nothing in the
# working tree and nothing beside the repository, and runs
# dpkg-buildpackage -us -uc -b there (cmake with ninja, RelWithDebInfo,
# DEB_BUILD_OPTIONS parallel=2 unless given; no debug-symbol packages).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
apt_install() {
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}
for tool in dpkg-buildpackage:dpkg-dev dh:debhelper; do
  command -v "${tool%%:*}" >/dev/null || apt_install "${tool#*:}"
done
if ! dpkg-checkbuilddeps 2>/dev/null; then
  echo "== installing the build dependencies"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get build-dep -y -qq ./ >/dev/null
fi

version=$(dpkg-parsechangelog -S Version)
work=$root/build/deb
src=$work/nysnmp-$version
out=$root/build/packages
rm -rf "$work" "$out"
mkdir -p "$src" "$out"
tar -c --exclude=./build --exclude=./.git --exclude='./obj-*' . | tar -x -C "$src"

echo "== dpkg-buildpackage -us -uc -b (log: $work/build.log)"
export DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS:-parallel=2 noddebs nocheck}
if ! (cd "$src" && dpkg-buildpackage -us -uc -b) >"$work/build.log" 2>&1; then
  tail -n 40 "$work/build.log" >&2
  echo "package: dpkg-buildpackage failed (full log: $work/build.log)" >&2
  exit 1
fi
mv "$work"/*.deb "$out"/
ls -1 "$out"
