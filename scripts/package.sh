#!/usr/bin/env bash
# Builds the Debian packages into dist/:
#   orvinta_VERSION_ARCH.deb                   the programs and what a desktop installs
#   libtranscriptioncore-dev_VERSION_ARCH.deb  TranscriptionCore for other programs
# from a Release build of this tree in build-package/ (kept between runs, so a
# second run builds only what changed), with CPack (cmake/OrvintaPackage.cmake).
# Install with: sudo apt-get install ./dist/orvinta_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
# What only packaging needs: man pages from --help, shlibdeps and build flags.
tools=(help2man dpkg-dev)
missing=()
for p in "${tools[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Packaging needs: ${missing[*]} (run as root, or: sudo apt-get install ${missing[*]})" >&2
    exit 1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Debian's hardening and reproducibility flags, without debug information
# (the package is stripped).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

dir=build-package
generator=()
[ -f "$dir/CMakeCache.txt" ] || generator=(-G Ninja)
cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DORVINTA_BUILD_TESTS=OFF -DORVINTA_BUILD_BENCH=OFF -DORVINTA_WERROR=OFF \
  -DORVINTA_MAN_PAGES=ON -DORVINTA_DEBIAN_FILES=ON \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$dir" -j2

rm -rf "$dir/_CPack_Packages"
(cd "$dir" && cpack -G DEB)
mkdir -p dist
# Only this build's packages, so that ./dist/orvinta_*.deb names one.
rm -f dist/orvinta_*.deb dist/libtranscriptioncore-dev_*.deb
for deb in "$dir"/*.deb; do
  mv -f "$deb" dist/
  echo "dist/$(basename "$deb")"
done
