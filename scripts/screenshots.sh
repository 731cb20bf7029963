#!/usr/bin/env bash
# Draws the pictures in docs/ from the real windows on a private X display:
# scripts/screenshots.sh [BUILD_DIR]   (ORVINTA_TEST_DISPLAY picks the display)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

cmake -S . -B "$build" -DORVINTA_WERROR=ON >/dev/null
cmake --build "$build" -j2 --target orvinta-screenshots

source scripts/test-services.sh
start_test_services
"$build/docs/screenshots/orvinta-screenshots" docs
