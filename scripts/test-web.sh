#!/usr/bin/env bash
# The engine in a real browser. Builds the web engine (scripts/build-web.sh), exports the showcase
# and three small games with `ovetool web`, plays them in Debian's Chromium (tests/web/browser-test.cjs)
# and compares the showcase's replay screenshots with the desktop engine's of the same turns.
# BUILD (default build) must hold a configured desktop build; OVE_NPM holds playwright-core.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
BUILD=$(cd "${BUILD:-build}" && pwd)
WEB=${OVE_WEB_BUILD:-build-web}
OVE_NPM=${OVE_NPM:-$HOME/.cache/ove-npm}
CHROMIUM=${CHROMIUM:-/usr/bin/chromium}
REC=$ROOT/tests/e2e/demo/playthrough.rec

bash scripts/build-web.sh
WEB=$(cd "$WEB" && pwd)
cmake --build "$BUILD" -j2 --target ove ovetool demo >/dev/null
TMP=$(mktemp -d)
[ -n "${OVE_KEEP:-}" ] || trap 'rm -rf "$TMP"' EXIT

echo "test-web: the desktop engine's replay"
mkdir -p "$TMP/native"
(cd "$TMP/native" && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
  "$BUILD/ove" --headless --replay "$REC" --frames 1400 --game "$BUILD/samples/demo" >/dev/null 2>&1)

echo "test-web: exporting the games"
export_game() { "$BUILD/ovetool" web "$1" "$TMP/sites/$2" --engine "$WEB/ove-web" >/dev/null; }
export_game "$BUILD/samples/demo" demo
mkdir -p "$TMP/save/DATA" "$TMP/error/DATA"
cat >"$TMP/save/DATA/main.ovs" <<'JS'
function Init() {}
function Run() {
  var dir = FOLDER_APPDATA + "/webtest";
  var r = new FileReader(dir + "/slot.sav");
  if (r.valid) {
    debug("loaded " + r.Read());
    r.Close();
  } else {
    CreateDirectory(dir);
    var n = Date.now() % 1000000;
    var w = new FileWriter(dir + "/slot.sav");
    w.Write(n);
    w.Close();
    debug("saved " + n);
  }
  for (;;) { Display(); Wait(0.1); }
}
function Quit() {}
JS
printf 'function Init() {}\nfunction Run() {\n  nosuchthing();\n}\nfunction Quit() {}\n' >"$TMP/error/DATA/main.ovs"
mkdir -p "$TMP/input/DATA"
cat >"$TMP/input/DATA/main.ovs" <<'JS'
function onMouseEvent(x, y, buttons) { if (buttons) debug("button " + buttons + " at " + x + "," + y); }
function onMouseWheel(x, y, delta) { debug("wheel " + delta); }
function Init() {}
function Run() {
  debug("ready");
  for (;;) {
    var k = ReadKey();
    if (k) debug("key " + k);
    Display();
    Wait(0.02);
  }
}
function Quit() {}
JS
export_game "$TMP/save" save
export_game "$TMP/error" error
export_game "$TMP/input" input

echo "test-web: playing them in $CHROMIUM"
node tests/web/browser-test.cjs "$TMP/sites" "$REC" "$TMP/browser" "$OVE_NPM" "$CHROMIUM"

# The same turns must look the same in the browser as on the desktop. Both draw in software, and
# the two rasterisers may round a blended colour (the edges of smoothed text) to neighbouring
# values: a pixel may differ by one step of 255 in a channel, never more.
status=0
for shot in "$TMP"/native/*.png; do
  name=$(basename "$shot")
  if [ ! -f "$TMP/browser/$name" ]; then echo "FAIL $name: the browser wrote none"; status=1; continue; fi
  pixels=$(compare -metric AE "$shot" "$TMP/browser/$name" null: 2>&1 || true)
  peak=$(compare -metric PAE "$shot" "$TMP/browser/$name" null: 2>&1 | sed 's/.*(\(.*\)).*/\1/' || true)
  if [ "$pixels" = "0" ]; then
    echo "ok   $name equals the desktop's"
  elif [[ "$pixels" =~ ^[0-9]+$ && "$peak" =~ ^[0-9.e-]+$ ]] &&
    awk -v p="$peak" 'BEGIN { exit !(p + 0 <= 1.0001 / 255) }'; then
    echo "ok   $name: $pixels pixels differ from the desktop's by one step at most"
  else
    echo "FAIL $name differs from the desktop's in $pixels pixels, by up to $peak of the range"
    status=1
  fi
done
[ $status -eq 0 ] && echo "test-web: all passed"
exit $status
