#!/usr/bin/env bash
# Installs what is missing, builds, and runs Orvinta.
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh
# Only the two programs; ./test.sh builds the tests as well.
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release --target orvinta orvinta-cli

# The tray application; a second start opens the running one's panel.
exec build/shell/app/orvinta "$@"
