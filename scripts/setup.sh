#!/usr/bin/env bash
# Installs every Debian package the engine, its tools and its tests need. Safe to run twice.
set -euo pipefail
pkgs=(
  build-essential cmake ninja-build pkg-config
  duktape-dev
  libsdl2-dev libsdl2-mixer-dev timgm6mb-soundfont
  libgl-dev libegl-dev libgl1-mesa-dri libegl-mesa0
  libturbojpeg0-dev libjpeg62-turbo-dev
  zlib1g-dev libfreetype-dev libpng-dev fonts-dejavu-core
  googletest libgtest-dev
  imagemagick zip unzip p7zip-full libjpeg-turbo-progs qoi
  xvfb xdotool
  love bc
  vorbis-tools
  clang libclang-rt-14-dev  # libFuzzer and the sanitizer runtimes for scripts/fuzz.sh
  libstb-dev  # stb_image, a peer in the PNG benchmark
  libdeflate-dev  # a peer in the inflate benchmark
  libcpp-httplib-dev nlohmann-json3-dev  # the room editor's server (ovetool studio)
  chromium  # the room editor's test in a real browser
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "setup: all packages present"
fi

# The TypeScript compiler that type-checks the demo scripts against docs/ove.d.ts (a test; skipped
# when it is missing). Kept out of the tree, in the user's cache.
tsc_dir="$HOME/.cache/ove-npm"
if [ ! -x "$tsc_dir/node_modules/.bin/tsc" ]; then
  if command -v npm >/dev/null 2>&1; then
    echo "setup: installing typescript into $tsc_dir"
    npm install --prefix "$tsc_dir" --no-audit --no-fund --silent --fetch-retries=1 --fetch-timeout=60000 typescript@5 \
      || echo "setup: typescript not installed, the TypeScript check will be skipped"
  else
    echo "setup: npm missing, the TypeScript check will be skipped"
  fi
fi

# playwright-core drives Debian's chromium in the room editor's browser test (it downloads no browser).
if command -v npm >/dev/null 2>&1 && [ ! -d "$tsc_dir/node_modules/playwright-core" ]; then
  echo "setup: installing playwright-core into $tsc_dir"
  npm install --prefix "$tsc_dir" --no-audit --no-fund --silent --fetch-retries=1 --fetch-timeout=60000 playwright-core@1 \
    || echo "setup: playwright-core not installed, the browser test will be skipped"
fi
