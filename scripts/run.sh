#!/usr/bin/env bash
# Installs what is missing, builds the window alone (no tests or benchmarks),
# and starts it. The settings file setting.dat is written in the directory
# the program is started from.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "砚舟站长工具 is a desktop program and needs a graphical display: neither DISPLAY nor WAYLAND_DISPLAY is set." >&2
  echo "Start it from a desktop session (or over ssh -X), or use build/yanzhou-cli for the command line." >&2
  exit 1
fi
scripts/setup.sh yanzhou
exec build/yanzhou "$@"
