#!/usr/bin/env bash
# Installs what is missing, builds, and runs Orvinta.
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release

# Until the desktop application exists, this runs the headless
# front end on a LibriVox recording from Debian's pocketsphinx-testdata.
recording=/usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-0870.wav
echo "Transcribing $recording:"
build/shell/cli/orvinta-cli transcribe "$recording"
