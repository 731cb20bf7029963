#!/usr/bin/env bash
# Installs the build into a scratch prefix and builds a separate project
# against it with find_package(TranscriptionCore).
set -euo pipefail
build=$1
consumer=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
test -f "$work/prefix/include/TranscriptionCore/TranscriptionCore.h"
test -x "$work/prefix/bin/orvinta-score"
cmake -S "$consumer" -B "$work/build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/build" >/dev/null
"$work/build/consumer"
