#!/usr/bin/env bash
# Retakes the README's pictures in docs/screenshots/: the main window with a VASKO-01 connected,
# the setup window after a table read, the traffic monitor, the position chart and the Positions
# window. The real panel is driven against a simulated controller on a pseudo-terminal, on a
# virtual X display.
#
# Usage: scripts/screenshots.sh BUILD_DIR
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "Usage: $0 BUILD_DIR   (a configured CMake build directory)" >&2
    exit 2
fi
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" 2>/dev/null && pwd)" || { echo "screenshots: no build directory at $1" >&2; exit 2; }

bash "$repo/scripts/install-deps.sh" --with-screens
cmake --build "$build" --target screenshots
mkdir -p "$repo/docs/screenshots"
# A real X display: the offscreen platform has no window frames or fonts of a desktop.
env -u QT_QPA_PLATFORM QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1600x1200x24" "$build/tools/screenshots" "$repo/docs/screenshots"
