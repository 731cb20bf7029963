#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS (default 5) on
# its seed corpus; findings are written to build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVINTA_FUZZ=ON \
  -DORVINTA_BUILD_TESTS=OFF -DORVINTA_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j2 >/dev/null
mkdir -p build-fuzz/findings
status=0
for target in session trn preferences audio-file notes appcast shortcut remote-command; do
  corpus=tests/fuzz/corpus/${target%-file}
  work=build-fuzz/corpus/$target
  mkdir -p "$work"
  echo "== fuzz-$target for ${seconds}s"
  if ! build-fuzz/tests/fuzz/fuzz-$target -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
      -artifact_prefix=build-fuzz/findings/$target- -print_final_stats=1 "$work" "$corpus" \
      2>build-fuzz/fuzz-$target.log; then
    tail -n 40 build-fuzz/fuzz-$target.log >&2
    status=1
  fi
  grep -E '^stat::number_of_executed_units' build-fuzz/fuzz-$target.log || true
done
exit $status
