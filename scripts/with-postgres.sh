#!/usr/bin/env bash
# Runs a command with a throw-away PostgreSQL server on a free loopback port
# (a cluster in a temporary directory, stopped and removed afterwards) and
# YZ_TEST_POSTGRES set to its address, e.g. postgresql://postgres@127.0.0.1:54329.
set -euo pipefail
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
dir=$(mktemp -d /tmp/yz-postgres.XXXXXX)
chmod 755 "$dir"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
if [ "$(id -u)" -eq 0 ]; then
  chown postgres "$dir"
  as_pg=(runuser -u postgres --)
else
  as_pg=()
fi
stop() {
  "${as_pg[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  rm -rf "$dir"
}
trap stop EXIT
"${as_pg[@]}" "$bin/initdb" -D "$dir/data" -A trust -U postgres -E UTF8 >/dev/null
"${as_pg[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/log" -w \
  -o "-k $dir -p $port -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=200" start >/dev/null
export YZ_TEST_POSTGRES="postgresql://postgres@127.0.0.1:$port"
echo "PostgreSQL for the tests: $YZ_TEST_POSTGRES" >&2
"$@"
