#!/usr/bin/env bash
# Takes pictures of the main window and the test window on a virtual 1024x768 screen.
# Usage: scripts/screenshots.sh [build folder] [output folder]
#   build folder  default: build/release (configured here when missing)
#   output folder default: /tmp/pelisto-screens
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
out="${2:-/tmp/pelisto-screens}"

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target pelisto-screens pelisto-maker -j2

mkdir -p "$out"
# The real X platform on a virtual screen, not the offscreen one the tests use.
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1024x768x24" \
    "$build/bin/pelisto-screens" "$out"
echo "Pictures in $out"
