#!/usr/bin/env bash
# Builds and runs the benchmarks, printing one table.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY
build/bench/bench_press_latency
echo
build/bench/bench_scrape
