#!/usr/bin/env bash
# Fails when a C++ file of the repository differs from .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh clang-format
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
echo "format: every file follows .clang-format"
