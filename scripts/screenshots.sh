#!/usr/bin/env bash
# Draws the pictures in docs/ from the real windows on a private X display:
# scripts/screenshots.sh [BUILD_DIR]   (ORVINTA_TEST_DISPLAY picks the display)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

scripts/deps.sh
scripts/build.sh "$build" --target orvinta-screenshots

source scripts/test-services.sh
start_test_services
"$build/docs/screenshots/orvinta-screenshots" docs

# The README's picture: the real application in a tray, listening to a
# recording played on the computer, its panel open beside the overlay.
scripts/build.sh "$build" --target orvinta
command -v import >/dev/null || apt-get install -y --no-install-recommends imagemagick
home=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$home"; stop_test_services' EXIT
trayer --edge top --align right --widthtype pixel --width 200 --height 24 --SetDockType true &
sleep 1
HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data "$build/shell/app/orvinta" &
sleep 4
xdotool key --clearmodifiers ctrl+alt+s
sleep 1
paplay /usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-0880.wav
sleep 2
# The tray icon sits at the right end of trayer's panel.
xdotool mousemove 1428 12 click 1
sleep 2
import -window root docs/orvinta.png
