#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test against a private
# sound server and virtual display.
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh

echo "== Formatting"
scripts/check-format.sh

echo "== TranscriptionCore under AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/build.sh build-sanitize -DCMAKE_BUILD_TYPE=Debug -DORVINTA_CORE_ONLY=ON -DORVINTA_SANITIZE=ON
ctest --test-dir build-sanitize --output-on-failure -j2

echo "== Release build"
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release

echo "== Fuzz targets on their seed corpus"
scripts/fuzz.sh 5

source scripts/test-services.sh
start_test_services
start_test_wayland
# End-to-end tests skip themselves without a sound server; here they must run.
log=$(mktemp)
status=0
ctest --test-dir build --output-on-failure | tee "$log" || status=$?
if grep -q "tests did not run" "$log"; then
  echo "Some tests were skipped although test.sh provides their sound server and display." >&2
  status=1
fi
rm -f "$log"
exit $status
