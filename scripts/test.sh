#!/usr/bin/env bash
# Sets up the machine, builds OVE with its tests and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD=${OVE_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVE_BENCH=ON
cmake --build "$BUILD" -j2
export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen} SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
ctest --test-dir "$BUILD" --output-on-failure -j2 --timeout 300
