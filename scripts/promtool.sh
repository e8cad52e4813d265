#!/usr/bin/env bash
# Prints the path of promtool, Debian's (prometheus package), which the tests
# check the service's metrics with. The package is unpacked into build/tools
# rather than installed, so that no Prometheus server is set up or started.
set -euo pipefail
cd "$(dirname "$0")/.."
tool="$PWD/build/tools/usr/bin/promtool"
if [ ! -x "$tool" ]; then
  tmp="$(mktemp -d)"
  trap 'rm -rf "$tmp"' EXIT
  chmod 755 "$tmp"
  (cd "$tmp" && { apt-get download -q prometheus >/dev/null 2>&1 \
                  || { apt-get update -q >/dev/null && apt-get download -q prometheus >/dev/null; }; })
  mkdir -p build/tools
  dpkg-deb -x "$tmp"/prometheus_*.deb build/tools
fi
echo "$tool"
