#!/usr/bin/env bash
# Configures and builds one build folder:
#   build.sh DIR [cmake options...] [--target TARGET...]
# Without --target every target is built.
set -euo pipefail
dir=$1; shift
options=()
targets=()
while [ $# -gt 0 ]; do
  if [ "$1" = --target ]; then
    shift
    targets=("$@")
    break
  fi
  options+=("$1")
  shift
done

# Ninja, since only there do CMake's moc steps and Qt's QML type registration
# know their inputs: with make, every build reruns them all and Qt then
# regenerates and recompiles every QML module. A folder that make was set up
# for is configured afresh.
if [ -f "$dir/CMakeCache.txt" ] && ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$dir/CMakeCache.txt"; then
  rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
fi
generator=()
[ -f "$dir/CMakeCache.txt" ] || generator=(-G Ninja)

cmake -S "$(dirname "$0")/.." -B "$dir" "${generator[@]}" -DORVINTA_WERROR=ON "${options[@]}" >/dev/null
if [ ${#targets[@]} -gt 0 ]; then
  cmake --build "$dir" -j2 --target "${targets[@]}"
else
  cmake --build "$dir" -j2
fi
