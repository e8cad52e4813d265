#!/usr/bin/env bash
# Takes the pictures of the service's pages as a real browser shows them:
# the example service (scripts/server.sh --prepare) on a free loopback port,
# headless Chromium, docs/server-home.png (with its lookup box) and
# docs/server-domain.png (the large chart and the first page of the history).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh chromium fonts-wqy-zenhei python3
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
PORT=$port scripts/server.sh --prepare
build/yanzhou-server serve --listen "127.0.0.1:$port" --admin-listen 127.0.0.1:0 --no-collect \
  --db build/example-service/yanzhou-server.sqlite 2>/dev/null &
server=$!
profile=$(mktemp -d)
trap 'kill $server 2>/dev/null || true; rm -rf "$profile"' EXIT
for _ in $(seq 50); do curl -fs "http://127.0.0.1:$port/yzupdate/" >/dev/null && break; sleep 0.1; done
shoot() {
  chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --hide-scrollbars --user-data-dir="$profile" \
    --window-size="$3" --screenshot="$1" "$2" 2>/dev/null
  echo "$1"
}
shoot docs/server-home.png "http://127.0.0.1:$port/" 900,800
shoot docs/server-domain.png "http://127.0.0.1:$port/www.example.com" 900,1750
