#!/usr/bin/env bash
# Retakes docs/screenshot.png and docs/history.png: the main window after a
# query and a domain's history, drawn by a real X server (Xvfb) with the
# Chinese font the program uses.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/install-packages.sh xvfb xauth
cmake --build build --target readme_screenshot
mkdir -p docs
unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY
xvfb-run -a -s "-screen 0 1024x768x24" env QT_QPA_PLATFORM=xcb build/tools/screenshot/readme_screenshot docs/screenshot.png docs/history.png
