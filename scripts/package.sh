#!/usr/bin/env bash
# Builds the Debian package and prints its path: in build-package/ (a Release
# build of its own) by default, or in the already configured build directory
# given as the argument (CI packages the tree it has just tested).
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build-package}"
scripts/install-packages.sh cmake ninja-build g++ $(cat scripts/qt-packages) dpkg-dev file
if [ $# -eq 0 ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
fi
cmake --build "$dir" --target yanzhou yanzhou-cli yanzhou-server manpage
rm -f "$dir"/*.deb
(cd "$dir" && cpack -B . >/dev/null)
ls "$PWD/$dir"/*.deb
