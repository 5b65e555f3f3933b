#!/usr/bin/env bash
# Renders the main window, the settings dialog and the display window (after
# an approved payment) into docs/screenshots/*.png with Qt's offscreen
# platform, building desktop_screenshots first. The Korean is drawn with the
# Nanum fonts of fonts-nanum where GulimChe is not installed.
#
#   scripts/screenshots.sh            # build/ and docs/screenshots/
#   BUILD_DIR=DIR scripts/screenshots.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

if [[ ! -f $build/CMakeCache.txt ]]; then
    bash "$root/scripts/install-deps.sh"
    cmake -S "$root" -B "$build" >/dev/null
fi
# Always: the pictures must show the windows as the sources draw them now.
cmake --build "$build" -j "${JOBS:-2}" --target desktop_screenshots
QT_QPA_PLATFORM=offscreen "$build/bin/desktop_screenshots" "$root/docs/screenshots"
