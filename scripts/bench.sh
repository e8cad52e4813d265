#!/usr/bin/env bash
# Builds and runs every benchmark; each prints its part of one table of
# figures with their targets.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
# The window keeps each press's results in the user's data directory: the
# benchmarks' presses go to a directory of their own.
XDG_DATA_HOME="$(mktemp -d)"
export XDG_DATA_HOME
unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY
for bench in press_latency responsiveness soak startup decode scrape rules ranksimport hostile manydomains history; do
  (cd "$(mktemp -d)" && "$OLDPWD/build/bench/bench_$bench")
  echo
done
