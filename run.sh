#!/usr/bin/env bash
# Installs what is missing, builds, and runs Orvinta.
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release

# The tray application; a second start opens the running one's panel.
exec build/shell/app/orvinta "$@"
