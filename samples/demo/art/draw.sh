#!/usr/bin/env bash
# Draws the demo's source pictures with ImageMagick. The PNGs are committed, so the build does
# not need ImageMagick; run this again after changing the room's layout.
#
#   room.png     the 480x240 backdrop picture
#   control.png  control zones       (8-bit grey, value = zone number)
#   depth.png    priority levels      (8-bit grey, 1..15 hide sprites of lower priority)
#   walk.png     walkable floor       (8-bit grey, 0 = blocked)
#   click.png    hotspots             (8-bit grey, value = line number in hotspots.txt)
#   hero-*.png   the hero's cels      (32-bit with transparency)
#   hall-*       the second room, the hall: a tile set, its map and the hall's masks
set -euo pipefail
cd "$(dirname "$0")"
W=480 H=240

# The furniture, shared by the picture and its masks (x1,y1 x2,y2, inclusive).
DOOR="40,64 104,179"
WINDOW="190,40 290,120"
SHELF="360,50 440,179"
CHEST="128,158 180,197"
RUG_CENTRE="262,212" RUG_RADII="72,16"

# Masks: plain 8-bit grey without smoothing, so every pixel holds exactly the value drawn.
MASK=(-size ${W}x${H} xc:black +antialias)
SAVE_MASK=(-colorspace Gray -depth 8 -define png:color-type=0 -define png:bit-depth=8)
v() { echo "rgb($1,$1,$1)"; }

# ---- the room ----
convert -size ${W}x${H} xc:'#5a6e8c' \
  -fill '#526683' -draw "$(for x in $(seq 0 24 $W); do printf 'rectangle %d,0 %d,179 ' $x $((x + 11)); done)" \
  -fill '#3e4b60' -draw 'rectangle 0,0 479,9' \
  -fill '#8a5a35' -draw 'rectangle 0,180 479,239' \
  -fill '#6e4426' -draw "$(for y in $(seq 191 12 239); do printf 'line 0,%d 479,%d ' $y $y; done)" \
  -draw "$(for y in $(seq 180 12 239); do o=$(( (y / 12 % 2) * 40 )); for x in $(seq $o 80 479); do printf 'line %d,%d %d,%d ' $x $y $x $((y + 11)); done; done)" \
  -fill '#3a2a20' -draw 'rectangle 0,172 479,181' \
  -fill '#4a3020' -draw "rectangle $DOOR" \
  -fill '#7a4a2a' -draw 'rectangle 46,70 98,179' \
  -fill '#6a3e22' -draw 'rectangle 54,80 90,120 rectangle 54,130 90,170' \
  -fill '#e0c050' -draw 'circle 92,128 92,132' \
  -fill '#e8e0d0' -draw "rectangle $WINDOW" \
  -fill '#1a2a50' -draw 'rectangle 196,46 284,114' \
  -fill '#f0f0c0' -draw 'circle 262,66 262,76' \
  -fill '#1a2a50' -draw 'circle 268,62 268,72' \
  -fill white -draw 'point 205,56 point 221,88 point 236,52 point 212,104 point 247,97 point 278,104' \
  -fill '#e8e0d0' -draw 'rectangle 238,46 241,114 rectangle 196,78 284,81' \
  -fill '#5a3a22' -draw "rectangle $SHELF" \
  -fill '#3a2414' -draw 'rectangle 366,56 434,174' \
  -fill '#5a3a22' -draw 'rectangle 366,84 434,89 rectangle 366,116 434,121 rectangle 366,148 434,153' \
  -fill '#b03a3a' -draw 'rectangle 368,62 375,83 rectangle 396,126 403,147' \
  -fill '#3a7ab0' -draw 'rectangle 377,66 383,83 rectangle 408,94 416,115 rectangle 370,156 378,174' \
  -fill '#d0b040' -draw 'rectangle 385,60 390,83 rectangle 380,128 387,147' \
  -fill '#4a9a5a' -draw 'rectangle 400,68 407,83 rectangle 370,96 377,115 rectangle 414,160 423,174' \
  -fill '#c8c0b0' -draw 'rectangle 420,70 428,83 rectangle 390,100 396,115 rectangle 425,130 431,147' \
  -fill '#d0a040' -draw "ellipse $RUG_CENTRE $RUG_RADII 0,360" \
  -fill '#a03030' -draw "ellipse $RUG_CENTRE 66,12 0,360" \
  -fill '#7a4a20' -draw "rectangle $CHEST" \
  -fill '#8f5a2a' -draw 'rectangle 128,158 180,172' \
  -fill '#c0a040' -draw 'rectangle 128,172 180,175 rectangle 136,158 139,197 rectangle 169,158 172,197' \
  -fill '#e0d060' -draw 'rectangle 151,176 157,184' \
  -depth 8 -strip PNG24:room.png

# ---- masks ----
# Hotspot numbers, in the order of hotspots.txt.
convert "${MASK[@]}" \
  -fill "$(v 1)" -draw "rectangle $DOOR" \
  -fill "$(v 2)" -draw "rectangle $WINDOW" \
  -fill "$(v 3)" -draw "rectangle $SHELF" \
  -fill "$(v 4)" -draw "ellipse $RUG_CENTRE $RUG_RADII 0,360" \
  -fill "$(v 5)" -draw "rectangle $CHEST" \
  "${SAVE_MASK[@]}" -strip click.png

# The floor is walkable (1) and softer on the rug (2); the chest's front stands in the way, but
# there is room to walk behind it.
convert "${MASK[@]}" \
  -fill "$(v 1)" -draw 'rectangle 0,186 479,239' \
  -fill "$(v 2)" -draw "ellipse $RUG_CENTRE $RUG_RADII 0,360" \
  -fill "$(v 0)" -draw 'rectangle 124,192 184,203' \
  "${SAVE_MASK[@]}" -strip walk.png

# Zones the game can test where the hero stands: 1 at the door, 2 at the bookshelf.
convert "${MASK[@]}" \
  -fill "$(v 1)" -draw 'rectangle 40,186 104,205' \
  -fill "$(v 2)" -draw 'rectangle 360,186 440,205' \
  "${SAVE_MASK[@]}" -strip control.png

# The chest hides whatever walks behind it. A sprite's automatic priority is 15 * (y + 0.3) / 240
# at full size: the hero's feet behind the chest (y < 192) give less than 12, in front more.
convert "${MASK[@]}" \
  -fill "$(v 12)" -draw "rectangle $CHEST" \
  "${SAVE_MASK[@]}" -strip depth.png

# ---- the hero: 16x32 cels, walking east (4 cels), south and north (2 cels each) ----
# Each cel: hair, face, body, and the two legs at the x positions given.
hero() {  # name stride-left stride-right facing(e|s|n)
  local name=$1 l=$2 r=$3 face
  case $4 in
    e) face=(-fill '#f0c8a0' -draw 'rectangle 6,2 11,9' -fill '#202020' -draw 'point 10,5') ;;
    s) face=(-fill '#f0c8a0' -draw 'rectangle 5,2 10,9' -fill '#202020' -draw 'point 6,5 point 9,5') ;;
    n) face=(-fill '#f0c8a0' -draw 'rectangle 5,2 10,9') ;;
  esac
  convert -size 16x32 xc:none +antialias \
    -fill '#603010' -draw 'rectangle 5,0 11,3' "${face[@]}" \
    -fill '#c04040' -draw 'rectangle 4,10 11,21' \
    -fill '#303050' -draw "rectangle $l,22 $((l + 2)),29 rectangle $r,22 $((r + 2)),29" \
    -fill '#202020' -draw "rectangle $l,30 $((l + 3)),31 rectangle $r,30 $((r + 3)),31" \
    -strip PNG32:"hero-$name.png"
}
hero east1 6 7 e
hero east2 4 9 e
hero east3 6 7 e
hero east4 3 10 e
hero south1 5 8 s
hero south2 4 9 s
hero north1 5 8 n
hero north2 4 9 n

# ---- the hall: a 320x240 room built from 16x16 tiles ----
# hall-tiles.png holds 8 x 2 tiles; the map numbers them from 1, row by row:
#    1 wall          2 wall, bricks     3 skirting       4 door frame
#    5,6 the closed box's top half      7,8 the open box's top half
#    9 floor, light 10 floor, dark     11 door          12 window
#   13,14 the closed box's bottom half 15,16 the open box's bottom half
# The open box sits two tiles right of the closed one, so opening it adds 2 to each of its tiles.
box() {  # x of the box's 32x32 block, open(0|1): a box standing on the light floor
  local x=$1 lid
  if [ "$2" = 1 ]; then  # the lid thrown back, a gold crown inside
    lid=(-fill '#6a4020' -draw "rectangle $((x + 2)),2 $((x + 29)),9"
         -fill '#201008' -draw "rectangle $((x + 3)),12 $((x + 28)),19"
         -fill '#f0d040' -draw "rectangle $((x + 10)),13 $((x + 21)),18 rectangle $((x + 10)),10 $((x + 11)),12 rectangle $((x + 15)),10 $((x + 16)),12 rectangle $((x + 20)),10 $((x + 21)),12")
  else
    lid=(-fill '#8a5a2a' -draw "rectangle $((x + 2)),8 $((x + 29)),19"
         -fill '#c0a040' -draw "rectangle $((x + 2)),18 $((x + 29)),19")
  fi
  BOX=(-fill '#a08a6a' -draw "rectangle $x,0 $((x + 31)),31"
       -fill '#7a4a20' -draw "rectangle $((x + 2)),10 $((x + 29)),29"
       "${lid[@]}"
       -fill '#e0d060' -draw "rectangle $((x + 14)),21 $((x + 17)),26"
       -fill '#3a2a20' -draw "rectangle $((x + 2)),30 $((x + 29)),31")
}
box 64 0; CLOSED=("${BOX[@]}")
box 96 1; OPENED=("${BOX[@]}")
convert -size 128x32 xc:'#4a5a48' +antialias \
  -fill '#3c4a3a' -draw 'rectangle 16,7 31,8 rectangle 23,0 24,7 rectangle 16,8 17,15' \
  -fill '#2a2018' -draw 'rectangle 32,8 47,15' \
  -fill '#5a3a22' -draw 'rectangle 48,0 63,15' -fill '#3a2414' -draw 'rectangle 51,6 60,15' \
  "${CLOSED[@]}" "${OPENED[@]}" \
  -fill '#a08a6a' -draw 'rectangle 0,16 15,31' \
  -fill '#8a7458' -draw 'rectangle 16,16 31,31' \
  -fill '#5a3a22' -draw 'rectangle 32,16 47,31' -fill '#3a2414' -draw 'rectangle 35,16 44,31' \
  -fill '#e0d8c0' -draw 'rectangle 48,16 63,31' -fill '#14203c' -draw 'rectangle 50,18 61,29' \
  -fill '#e0d8c0' -draw 'rectangle 55,18 56,29' \
  -depth 8 -strip PNG24:hall-tiles.png

# The map: 20 x 15 tiles. Walls above the skirting (row 8), a chequered floor below; the door
# (columns 16-17, rows 4-8), a window (columns 8-11, rows 2-3) and the closed box (columns 3-4,
# rows 10-11).
for row in $(seq 0 14); do
  line=
  for col in $(seq 0 19); do
    if   [ $row -lt 8 ]; then t=$(( 1 + row % 2 )); else t=3; fi
    [ $row -ge 9 ] && t=$(( 9 + (col + row) % 2 ))
    [ $row -ge 2 ] && [ $row -le 3 ] && [ $col -ge 8 ] && [ $col -le 11 ] && t=12
    [ $col -ge 16 ] && [ $col -le 17 ] && [ $row -eq 4 ] && t=4
    [ $col -ge 16 ] && [ $col -le 17 ] && [ $row -ge 5 ] && [ $row -le 8 ] && t=11
    [ $row -eq 10 ] && [ $col -eq 3 ] && t=5
    [ $row -eq 10 ] && [ $col -eq 4 ] && t=6
    [ $row -eq 11 ] && [ $col -eq 3 ] && t=13
    [ $row -eq 11 ] && [ $col -eq 4 ] && t=14
    line+="${line:+,}$t"
  done
  echo "$line"
done > hall-map.csv

# The hall's picture lies under the tiles and never shows; it gives the masks their size.
convert -size 320x240 xc:'#4a5a48' -depth 8 -strip PNG24:hall.png
HALL_MASK=(-size 320x240 xc:black +antialias)
HALL_DOOR="256,64 287,143" HALL_WINDOW="128,32 191,63" HALL_BOX="48,160 79,191"
convert "${HALL_MASK[@]}" \
  -fill "$(v 1)" -draw "rectangle $HALL_DOOR" \
  -fill "$(v 2)" -draw "rectangle $HALL_WINDOW" \
  -fill "$(v 3)" -draw "rectangle $HALL_BOX" \
  "${SAVE_MASK[@]}" -strip hall-click.png
printf 'door\nwindow\nbox\n' > hall-hotspots.txt
# The floor, but not the box nor the space just behind it.
convert "${HALL_MASK[@]}" \
  -fill "$(v 1)" -draw 'rectangle 0,148 319,239' \
  -fill "$(v 0)" -draw 'rectangle 44,148 83,195' \
  "${SAVE_MASK[@]}" -strip hall-walk.png
# Zone 1, just in front of the door, leads back to the study.
convert "${HALL_MASK[@]}" \
  -fill "$(v 1)" -draw 'rectangle 252,148 291,163' \
  "${SAVE_MASK[@]}" -strip hall-control.png
