#!/usr/bin/env bash
# Configures and builds one build folder: build.sh DIR [cmake options...]
set -euo pipefail
dir=$1; shift
cmake -S "$(dirname "$0")/.." -B "$dir" -DORVINTA_WERROR=ON "$@" >/dev/null
cmake --build "$dir" -j2
