#!/usr/bin/env bash
# Builds the Debian package in build-package/ and prints its path
# (build-package/yanzhou_<version>_<arch>.deb).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh cmake ninja-build g++ $(cat scripts/qt-packages) dpkg-dev file
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-package --target yanzhou yanzhou-cli yanzhou-server manpage
(cd build-package && cpack -B . >/dev/null)
ls "$PWD"/build-package/*.deb
