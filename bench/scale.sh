#!/usr/bin/env bash
# The scale benchmark (not part of CI: it writes 36.5 million rows, a few GB):
# a throw-away PostgreSQL server, then build/bench/bench_scale on it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh bench_scale yanzhou-server >/dev/null
scripts/with-postgres.sh bash -c '
  psql "$YZ_TEST_POSTGRES/postgres" -qc "create database yzscale" >/dev/null
  build/yanzhou-server version show --db "$YZ_TEST_POSTGRES/yzscale" >/dev/null
  YZ_BENCH_POSTGRES="$YZ_TEST_POSTGRES/yzscale" build/bench/bench_scale'
