#!/usr/bin/env bash
# Fails when a C++ file of the tree is not formatted with .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/orvinta-format.log; then
  grep -E 'code should be clang-formatted' /tmp/orvinta-format.log | cut -d: -f1 | sort -u | sed 's/^/  not formatted: /' >&2
  echo "Run: clang-format -i \$(git ls-files '*.cpp' '*.h')" >&2
  exit 1
fi
