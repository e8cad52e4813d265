#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those missing) and
# configures and builds the project in build/: the given targets, or
# everything. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-packages.sh cmake ninja-build g++ $(cat scripts/qt-packages) qt6-translations-l10n fonts-wqy-zenhei curl ccache \
  desktop-file-utils appstream file \
  postgresql python3

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}"
if [ $# -gt 0 ]; then
  cmake --build build --target "$@"
else
  cmake --build build
fi
