#!/usr/bin/env bash
# scripts/run.sh without a graphical display: a plain message and status 1,
# before anything is installed or built (not Qt's abort).
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/scripts/run.sh" 2>&1)"
status=$?
[ "$status" -eq 1 ] || { echo "FAIL: status $status: $out"; exit 1; }
grep -q "needs a graphical display" <<<"$out" || { echo "FAIL: message: $out"; exit 1; }
echo "run.sh without a display: $out"
