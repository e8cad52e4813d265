#!/usr/bin/env bash
# Builds everything under AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs the whole test suite there. Any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh cmake ninja-build g++ $(cat scripts/qt-packages) qt6-translations-l10n fonts-wqy-zenhei curl ccache postgresql python3
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DYZ_SANITIZE=ON -DYZ_BENCHMARKS=OFF >/dev/null
cmake --build build-asan
# Leaks are not checked: Qt, fontconfig and GLib keep process-lifetime caches
# that LeakSanitizer would report.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# promtool checks the service's metrics.
YZ_PROMTOOL="$(scripts/promtool.sh)"
export YZ_PROMTOOL
scripts/with-postgres.sh ctest --test-dir build-asan --output-on-failure
