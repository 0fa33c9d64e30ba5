#!/usr/bin/env bash
# Sets up the machine, builds OVE and runs the bundled demo game.
# Without a display it runs headless for a few seconds and saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD=${OVE_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD" -j2 --target ove demo
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$BUILD/ove" --game "$BUILD/samples/demo" "$@"
else
  echo "demo: no display found; running headless and saving demo.bmp"
  "$BUILD/ove" --headless --frames 180 --screenshot demo.bmp --game "$BUILD/samples/demo" "$@"
  echo "demo: wrote $(pwd)/demo.bmp"
fi
