#!/usr/bin/env bash
# The web engine against the desktop engine on this machine (both draw in software here): the
# showcase's download size, its first frame in headless Chromium, and the recorded replay's time
# per turn in the browser against the desktop engine's (offscreen driver), same replay, same
# turns, every drawn frame read back on both sides (the replay takes screenshots).
# Needs the desktop build (BUILD, default build) and the web engine (scripts/build-web.sh).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${BUILD:-$ROOT/build}" && pwd)
WEB=$(cd "${OVE_WEB_BUILD:-$ROOT/build-web}" && pwd)
OVE_NPM=${OVE_NPM:-$HOME/.cache/ove-npm}
REC=$ROOT/tests/e2e/demo/playthrough.rec
FRAMES=1400
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

"$BUILD/ovetool" web "$BUILD/samples/demo" "$TMP/demo" --engine "$WEB/ove-web" >/dev/null 2>&1
best=""
for k in 1 2 3; do
  mkdir -p "$TMP/native$k"
  start=$(date +%s%N)
  (cd "$TMP/native$k" && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
    "$BUILD/ove" --headless --replay "$REC" --frames $FRAMES --game "$BUILD/samples/demo" >/dev/null 2>&1)
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
done
json=$(node "$ROOT/bench/web-bench.cjs" "$TMP/demo" "$REC" $FRAMES "$OVE_NPM" "${CHROMIUM:-/usr/bin/chromium}")
node -e '
const r = JSON.parse(process.argv[1]), native = Number(process.argv[2]), frames = Number(process.argv[3]);
const mb = r.download / 1048576, ratio = r.replayMs / native;
const line = (ok, s) => console.log(`${ok ? "PASS" : "FAIL"} ${s}`);
line(mb < 4, `download (engine + showcase, gzip -6): ${mb.toFixed(2)} MB (target under 4)`);
line(r.firstFrameMs < 2000, `first frame after opening the page: ${Math.round(r.firstFrameMs)} ms (target under 2000)`);
line(ratio <= 2, `replay per turn: browser ${(r.replayMs / frames).toFixed(2)} ms, desktop ${(native / frames).toFixed(2)} ms, ratio ${ratio.toFixed(2)} (target at most 2)`);
console.log(`     for scale: a bare WebGL 2 page drawing and reading back one 320x240 frame takes ${r.floorMs.toFixed(2)} ms in this browser`);
' "$json" "$best" $FRAMES
