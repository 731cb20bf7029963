#!/usr/bin/env bash
# Installs the Debian packages the project needs, and only those that are missing.
set -euo pipefail

packages=(
  # build, tests, benchmarks
  cmake ninja-build g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev clang-format
  # fuzzing: clang with libFuzzer
  clang libclang-rt-14-dev
  # Unicode
  libicu-dev
  # Qt and coroutines
  qt6-base-dev qt6-declarative-dev qcoro-qt6-dev
  qml6-module-qtqml qml6-module-qtqml-models qml6-module-qtqml-workerscript
  # windows: Qt Quick and its controls, dialogs, SVG icons, an icon theme
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
  qml6-module-qtquick-window qml6-module-qtquick-templates qml6-module-qtquick-dialogs
  qml6-module-qt-labs-folderlistmodel qml6-module-qttest libqt6svg6 adwaita-icon-theme
  # keyboard and paste on X11; release notes
  libx11-dev libxi-dev libxtst-dev libxml2-dev
  # audio and speech
  libpulse-dev libsamplerate0-dev libsndfile1-dev
  libpocketsphinx-dev libsphinxbase-dev pocketsphinx-en-us
  # translation (the Italian pair's pipeline runs cg-proc from cg3)
  apertium apertium-eng-spa apertium-fr-es apertium-es-pt apertium-spa-ita cg3
  # test desktop, test speech, scoring cross-check
  pulseaudio pulseaudio-utils xvfb xauth x11-utils trayer xdotool openssl sox espeak-ng pocketsphinx-testdata sctk
  # subtitle files read back by a real parser
  ffmpeg
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Orvinta needs these Debian packages, which are not installed:" >&2
  echo "  ${missing[*]}" >&2
  echo "Run this script as root (or: sudo apt-get install ${missing[*]})." >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
