#!/usr/bin/env bash
# Installs what is missing, builds, and runs Orvinta.
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release

# Scores the reference transcripts of a small LibriVox test set against a
# deliberately damaged copy, to show what the scoring tool reports.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed -E 's#</?s>##g' /usr/share/pocketsphinx/test/data/librivox/transcription >"$work/reference.trn"
sed -E -e 's/ consider / considered /' -e 's/ an ill / a /' -e 's/ rather selfish/ selfish/' \
  -e 's/himself/him self/' -e 's/ John / Jon /I' "$work/reference.trn" >"$work/damaged.trn"
echo "Reference against a damaged copy (after scoring normalisation):"
build/core/orvinta-score --normalize "$work/reference.trn" "$work/damaged.trn"
