#!/usr/bin/env bash
# Builds the engine for browser pages: ove.js and ove.wasm in build-web/ove-web (OVE_WEB_BUILD
# names another folder). The libraries are built once by scripts/web-libs.sh and kept in
# ~/.cache/ove-web; the engine build itself takes a few minutes on two cores.
set -euo pipefail
cd "$(dirname "$0")/.."
need=()
for p in cmake ninja-build pkg-config duktape-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
PREFIX=$(bash scripts/web-libs.sh | tail -1)
# Debian's emcc wants its own node modules and the system's python.
export NODE_PATH=/usr/share/nodejs EMSDK_PYTHON=/usr/bin/python3
OUT=${OVE_WEB_BUILD:-build-web}
echo "build-web: configuring $OUT"
emcmake cmake -S . -B "$OUT" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOVE_WEB_PREFIX="$PREFIX" \
  -DCMAKE_FIND_ROOT_PATH="$PREFIX" >/dev/null
echo "build-web: building the engine"
cmake --build "$OUT" -j2 --target ove
echo "build-web: wrote $OUT/ove-web/ove.js and $OUT/ove-web/ove.wasm"
