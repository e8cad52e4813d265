#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite headless.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
# The storage and service tests run on SQLite and on a PostgreSQL server
# started for this run alone.
# promtool checks the service's metrics.
YZ_PROMTOOL="$(scripts/promtool.sh)"
export YZ_PROMTOOL
scripts/with-postgres.sh ctest --test-dir build --output-on-failure
