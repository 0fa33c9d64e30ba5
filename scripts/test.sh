#!/usr/bin/env bash
# Sets up the machine, builds OVE and runs its tests. Everything is also built with AddressSanitizer
# and UndefinedBehaviorSanitizer and every suite runs first under them (OVE_SANITIZE_TESTS=0 skips
# that pass); every parser is then fuzzed for about 20 s (OVE_FUZZ_SECONDS,
# 0 skips it; a finding fails the run); the full suite runs through ctest, the web engine is built
# and played in Chromium (OVE_WEB=0 skips it), then the sprite soak test checks that resident memory
# does not grow over 20,000 frames (OVE_SOAK=0 skips it).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD=${OVE_BUILD_DIR:-build}
export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen} SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

if [ "${OVE_SANITIZE_TESTS:-1}" != "0" ]; then
  ASAN_BUILD="$BUILD-asan"
  echo "== sanitizer pass ($ASAN_BUILD)"
  cmake -S . -B "$ASAN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOVE_SANITIZE=ON -DOVE_BENCH=OFF
  cmake --build "$ASAN_BUILD" -j2
  export ASAN_OPTIONS=detect_leaks=1
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  # Every suite, the drawing ones and the engine processes some of them start included.
  for t in "$ASAN_BUILD"/tests/test_*; do
    case "$(basename "$t")" in *.*) continue ;; esac
    [ -f "$t" ] && [ -x "$t" ] || continue
    echo "-- $(basename "$t")"
    "$t" --gtest_brief=1
  done
  unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
fi

if [ "${OVE_FUZZ_SECONDS:-20}" != "0" ]; then
  echo "== fuzz smoke pass ($BUILD-fuzz)"
  OVE_FUZZ_BUILD="$BUILD-fuzz" bash scripts/fuzz.sh "${OVE_FUZZ_SECONDS:-20}"
fi

echo "== main build ($BUILD)"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVE_BENCH=ON
cmake --build "$BUILD" -j2
ctest --test-dir "$BUILD" --output-on-failure -j2 --timeout 300

echo "== studio in a browser"
BUILD="$BUILD" bash scripts/test-studio.sh

if [ "${OVE_WEB:-1}" != "0" ]; then
  echo "== the web engine in a browser"
  BUILD="$BUILD" bash scripts/test-web.sh
fi

if [ "${OVE_SOAK:-1}" != "0" ]; then
  echo "== sprite soak test"
  MEMORY=1 OVE_BUILD_DIR="$BUILD" bash bench/sprites_vs_love.sh
fi
