#!/usr/bin/env bash
# Draws the pictures in docs/ from the real windows on a private X display:
# scripts/screenshots.sh [BUILD_DIR]   (ORVINTA_TEST_DISPLAY picks the display)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

scripts/deps.sh
scripts/build.sh "$build" --target orvinta-screenshots

source scripts/test-services.sh
start_test_services
"$build/docs/screenshots/orvinta-screenshots" docs
