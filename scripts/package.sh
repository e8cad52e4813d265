#!/usr/bin/env bash
# Builds the Debian package with dpkg-buildpackage (debian/) and prints its
# path, under build-package/. With an already configured and built CMake
# directory as the argument, that tree is packaged instead of a Release build
# of its own (CI packages the tree it has just tested).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh cmake ninja-build g++ $(cat scripts/qt-packages) dpkg-dev debhelper file
out="$PWD/build-package"
mkdir -p "$out"
export YZ_PREBUILT=
[ $# -gt 0 ] && YZ_PREBUILT="$(realpath "$1")"
# dpkg-buildpackage writes next to the source tree; the files are moved here.
dpkg-buildpackage -b -us -uc --no-sign >"$out/build.log" 2>&1 || { tail -40 "$out/build.log"; exit 1; }
version="$(dpkg-parsechangelog -S Version)"
rm -f "$out"/yanzhou_*.deb
for f in ../yanzhou_"$version"_amd64.deb ../yanzhou_"$version"_amd64.buildinfo ../yanzhou_"$version"_amd64.changes \
    ../yanzhou-dbgsym_"$version"_amd64.deb; do
  [ -e "$f" ] && mv "$f" "$out/"
done
ls "$out/yanzhou_${version}_amd64.deb"
