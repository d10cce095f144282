#!/usr/bin/env bash
# Builds (when needed) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -d build ] || ./scripts/setup.sh
cmake --build build -j "$(nproc)"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$(nproc)"
