#!/bin/sh
# The room editor in a real browser, checked against a headless engine run on the room it saved.
# Needs node, Debian's chromium and playwright-core from npm (never downloads a browser):
#   apt-get install -y chromium
#   npm install --prefix "$HOME/.cache/ove-npm" playwright-core
# Usage: scripts/test-studio.sh [--screenshot FILE.png]   (BUILD, CHROMIUM, OVE_NPM override the defaults)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build}
CHROMIUM=${CHROMIUM:-/usr/bin/chromium}
OVE_NPM=${OVE_NPM:-$HOME/.cache/ove-npm}
SHOT=
if [ "${1:-}" = "--screenshot" ] && [ -n "${2:-}" ]; then
    SHOT=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
fi

if ! command -v node >/dev/null 2>&1; then
    echo "test-studio: skipped, node is not installed"
    exit 0
fi
if [ ! -x "$CHROMIUM" ]; then
    echo "test-studio: skipped, $CHROMIUM is not installed (apt-get install -y chromium)"
    exit 0
fi
if [ ! -d "$OVE_NPM/node_modules/playwright-core" ]; then
    echo "test-studio: skipped, playwright-core is not in $OVE_NPM (npm install --prefix $OVE_NPM playwright-core)"
    exit 0
fi
[ -d "$BUILD" ] && BUILD=$(cd "$BUILD" && pwd)  # the test runs the engine from other folders
if [ ! -x "$BUILD/ovetool" ] || [ ! -x "$BUILD/ove" ]; then
    echo "test-studio: build ovetool and ove first (cmake --build build --target ovetool ove)" >&2
    exit 1
fi
exec node "$ROOT/tests/tools/studio-browser-test.cjs" "$BUILD" "$OVE_NPM" "$CHROMIUM" $SHOT
