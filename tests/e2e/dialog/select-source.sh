#!/usr/bin/env bash
# Drives the "Select source" dialog on a private X server: three games (DATA1..DATA3) lie beside
# the engine, the dialog appears, and the keys given are typed into it.
#   select-source.sh OVE OUTDIR KEY|click:X,Y ...
# Writes to OUTDIR: status (the engine's exit status), err (its standard error), geometry
# (WIDTHxHEIGHT of the dialog window as the X server has it) and dialog.png (its pixels).
# Exits 77 when Xvfb or xdotool is missing, 1 when the dialog never appeared.
set -u
ove=$1 out=$2
shift 2
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || exit 77

games=$(mktemp -d)
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$games"
}
trap cleanup EXIT

for n in 1 2 3; do
    mkdir -p "$games/DATA$n"
    printf '<settings><game name="Game number %s"/></settings>\n' "$n" >"$games/DATA$n/settings.xml"
    printf 'function Init() { debug("started", "%s"); }\nfunction Run() {}\nfunction Quit() {}\n' "$n" \
        >"$games/DATA$n/main.ovs"
done

# A display of our own; -displayfd picks a free number and writes it when the server is ready.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$games/.display" 2>/dev/null &
xvfb_pid=$!
display=
for _ in $(seq 100); do
    display=$(cat "$games/.display" 2>/dev/null)
    [ -n "$display" ] && break
    sleep 0.1
done
[ -n "$display" ] || exit 1
export DISPLAY=:$display

(cd "$games" && SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$ove" --verbose --frames 1 \
    2>"$out/err" >/dev/null; echo $? >"$out/status") &
engine=$!

window=
for _ in $(seq 300); do  # 30 s: a busy machine running other tests beside this one is slow
    window=$(xdotool search --name '^Select source$' 2>/dev/null | head -n1)
    [ -n "$window" ] && xwininfo -id "$window" 2>/dev/null | grep -q 'IsViewable' && break
    window=
    sleep 0.1
done
if [ -z "$window" ]; then
    kill "$engine" 2>/dev/null
    exit 1
fi
xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}' >"$out/geometry"
# The window is black until its first picture arrives.
for _ in $(seq 50); do
    import -silent -window "$window" "$out/dialog.png" 2>/dev/null &&
        [ "$(convert "$out/dialog.png" -format '%[fx:p{1,1}.r>0.5]' info: 2>/dev/null)" = 1 ] && break
    sleep 0.1
done
xdotool windowfocus --sync "$window" 2>/dev/null
# A word click:X,Y clicks at that point of the dialog (window coordinates); others are keys.
for key in "$@"; do
    case $key in
    click:*)
        xy=${key#click:}
        xdotool mousemove --window "$window" "${xy%,*}" "${xy#*,}" click 1
        sleep 0.2
        ;;
    *) xdotool key --delay 60 "$key" ;;
    esac
done
for _ in $(seq 150); do
    [ -s "$out/status" ] && break
    sleep 0.1
done
[ -s "$out/status" ] || { kill "$engine" 2>/dev/null; echo timeout >"$out/status"; }
wait "$engine" 2>/dev/null
exit 0
