#!/usr/bin/env bash
# OVE against LÖVE 11.4 drawing 1,000, 5,000 and 10,000 moving 32 x 48 sprites at 640 x 480,
# headless on software GL, in one run. Each side runs a short and a long game; frames per second
# come from the difference, so that start-up and loading cancel out. LÖVE's swap is made to wait
# for the frame (love_glfinish.c) as OVE's headless swap does, so both time drawn frames only.
#   bench/sprites_vs_love.sh                 the comparison
#   CPU=1 bench/sprites_vs_love.sh           times by processor time (user + system, every thread)
#                                            instead of the clock: steadier on a busy machine
#   MEMORY=1 bench/sprites_vs_love.sh        also resident memory of OVE with 1,000 sprites after
#                                            MEM_FRAMES1 and MEM_FRAMES2 frames (2,000 / 20,000)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${OVE_BUILD_DIR:-$ROOT/build}
OVE=$BUILD/ove
OVETOOL=$BUILD/ovetool
command -v love >/dev/null || { echo "sprites_vs_love: LÖVE is not installed (scripts/setup.sh)"; exit 1; }
[ -x "$OVE" ] && [ -x "$OVETOOL" ] || { echo "sprites_vs_love: build ove and ovetool first"; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy

cc -O2 -shared -fPIC -o "$WORK/love_glfinish.so" "$ROOT/bench/love_glfinish.c" -ldl

# The same sprite for both: an opaque ellipse with transparent corners.
convert -size 32x48 xc:none -fill 'rgba(200,80,40,1)' -draw 'ellipse 16,24 15,23 0,360' "PNG32:$WORK/sprite.png"

# ---- OVE game: N from the command line, every sprite moved every frame.
mkdir -p "$WORK/ove"
"$OVETOOL" view "$WORK/ove/sprite.OVV" --loop "$WORK/sprite.png" >/dev/null
cat > "$WORK/ove/settings.xml" <<'XML'
<?xml version="1.0"?>
<settings>
    <game width="640" height="480" name="sprites"/>
    <window width="640" height="480" title="sprites"/>
    <default script="main" fullscreen="false"/>
</settings>
XML
cat > "$WORK/ove/main.ovs" <<'JS'
var running = true, count = parseInt(PARAMS, 10) || 1000, sprites = [];
function Init() {
    SetBackdrop(BLACK);
    for (var i = 1; i <= count; ++i) {
        var s = new Sprite();
        s.view = "sprite";
        // x, y is the bottom centre of the cel.
        s.x = 16 + (i * 7919) % 608; s.y = 48 + (i * 104729) % 432;
        s.dx = (i % 5 + 1) * (i % 2 ? 1 : -1); s.dy = (i % 3 + 1) * (Math.floor(i / 2) % 2 ? 1 : -1);
        sprites.push(s);
    }
}
function Run() {
    while (running) {
        for (var i = 0; i < count; ++i) {
            var s = sprites[i];
            s.x += s.dx; s.y += s.dy;
            if (s.x < 16 || s.x > 624) s.dx = -s.dx;
            if (s.y < 48 || s.y > 480) s.dy = -s.dy;
        }
        Animate();
        Display();
    }
}
function Quit() { running = false; }
JS

# ---- LÖVE game: the same sprites, positions and moves.
mkdir -p "$WORK/love"
cp "$WORK/sprite.png" "$WORK/love/sprite.png"
cat > "$WORK/love/conf.lua" <<'LUA'
function love.conf(t)
  t.window.width = 640; t.window.height = 480; t.window.vsync = 0
  t.modules.audio = false; t.modules.sound = false; t.modules.joystick = false
end
LUA
cat > "$WORK/love/main.lua" <<'LUA'
local count, frames = tonumber(os.getenv("SPRITES")), tonumber(os.getenv("FRAMES"))
local sprites, image, frame = {}, nil, 0
function love.load()
  image = love.graphics.newImage("sprite.png")
  for i = 1, count do
    sprites[i] = {x = (i * 7919) % 608, y = (i * 104729) % 432,
                  dx = (i % 5 + 1) * (i % 2 == 1 and 1 or -1),
                  dy = (i % 3 + 1) * ((math.floor(i / 2) % 2 == 1) and 1 or -1)}
  end
end
function love.update(dt)
  for i = 1, count do
    local s = sprites[i]
    s.x = s.x + s.dx; s.y = s.y + s.dy
    if s.x < 0 or s.x > 608 then s.dx = -s.dx end
    if s.y < 0 or s.y > 432 then s.dy = -s.dy end
  end
  frame = frame + 1
  if frame >= frames then love.event.quit() end
end
function love.draw()
  for i = 1, count do local s = sprites[i]; love.graphics.draw(image, s.x, s.y) end
end
LUA

now() { date +%s.%N; }
cpu() {  # command...: processor seconds it used
    /usr/bin/time -f "%U + %S" -o "$WORK/cpu" "$@" >/dev/null 2>&1 || true
    bc -l < "$WORK/cpu"
}
run_ove() {  # count frames
    if [ "${CPU:-0}" = 1 ]; then cpu "$OVE" --headless --frames "$2" --game "$WORK/ove" -- "$1"; return; fi
    local t0; t0=$(now)
    "$OVE" --headless --frames "$2" --game "$WORK/ove" -- "$1" >/dev/null 2>&1
    echo "$(now) - $t0" | bc -l
}
run_love() {  # count frames
    if [ "${CPU:-0}" = 1 ]; then
        SPRITES=$1 FRAMES=$2 LD_PRELOAD="$WORK/love_glfinish.so" cpu love "$WORK/love"
        return
    fi
    local t0; t0=$(now)
    SPRITES=$1 FRAMES=$2 LD_PRELOAD="$WORK/love_glfinish.so" love "$WORK/love" >/dev/null 2>&1
    echo "$(now) - $t0" | bc -l
}
fps() { echo "($3 - $2) / ($5 - $4)" | bc -l | xargs printf "%.1f"; }  # _ f1 f2 t1 t2

SCALE=${SCALE:-1}
printf "%8s %10s %10s %8s\n" sprites "OVE fps" "LÖVE fps" ratio
for spec in "1000 40 240" "5000 10 60" "10000 5 30"; do
    set -- $spec
    n=$1; f1=$(( $2 * SCALE )); f2=$(( $3 * SCALE ))
    # Interleaved, so that a busy moment on the machine hits both sides alike.
    o1=$(run_ove "$n" "$f1"); l1=$(run_love "$n" "$f1")
    o2=$(run_ove "$n" "$f2"); l2=$(run_love "$n" "$f2")
    ofps=$(fps x "$f1" "$f2" "$o1" "$o2"); lfps=$(fps x "$f1" "$f2" "$l1" "$l2")
    printf "%8d %10s %10s %8s\n" "$n" "$ofps" "$lfps" "$(echo "$ofps / $lfps" | bc -l | xargs printf "%.2f")"
done

if [ "${MEMORY:-0}" = 1 ]; then
    m1=${MEM_FRAMES1:-2000}; m2=${MEM_FRAMES2:-20000}
    r1=$(/usr/bin/time -f %M "$OVE" --headless --frames "$m1" --game "$WORK/ove" -- 1000 2>&1 >/dev/null | tail -1)
    r2=$(/usr/bin/time -f %M "$OVE" --headless --frames "$m2" --game "$WORK/ove" -- 1000 2>&1 >/dev/null | tail -1)
    echo "OVE resident memory with 1000 sprites: ${r1} KB after $m1 frames, ${r2} KB after $m2 frames ($(( r2 - r1 )) KB)"
    [ $(( r2 - r1 )) -le 5120 ] || { echo "sprites_vs_love: memory grew by more than 5 MB"; exit 1; }
fi
