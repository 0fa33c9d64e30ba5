#!/usr/bin/env bash
# Builds the C libraries of the web build with Debian's emscripten, from Debian's own source
# packages: SDL2, SDL2_mixer (WAVE, Ogg Vorbis through stb_vorbis, MP3 and FLAC through dr_libs,
# MIDI through its built-in Timidity), libjpeg-turbo (libjpeg and libturbojpeg, no SIMD) and zlib.
# Static only, no threads, and no Emscripten ports: those download from the internet.
#
#   scripts/web-libs.sh                 build unless cached; the last line of stdout is the prefix
#   scripts/web-libs.sh --print-prefix  build nothing: print the prefix, fail when it is not built
#
# The prefix, ${OVE_WEB_CACHE:-$HOME/.cache/ove-web}/libs-<key>, holds include/, lib/*.a and
# lib/pkgconfig/*.pc (relocatable). The key hashes the source versions apt offers, the emscripten
# version and REV, so a kept cache costs no work. Progress goes to stderr. apt-get runs as root or
# through sudo: for missing packages, and for a deb-src entry when apt knows no source packages.
set -euo pipefail

REV=1  # bump whenever the recipe below changes
PKGS=(libsdl2 libsdl2-mixer libjpeg-turbo zlib)
log() { echo "web-libs: $*" >&2; }
die() { log "error: $*"; exit 1; }
case "$#:${1:-}" in
  0:) mode=build ;; 1:--print-prefix) mode=print ;; *) die "usage: $0 [--print-prefix]" ;;
esac
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
apt() { $SUDO env DEBIAN_FRONTEND=noninteractive apt-get -y -qq "$@" >&2; }
export NODE_PATH=/usr/share/nodejs  # where Debian's emcc finds acorn and its other node modules
export EMSDK_PYTHON=/usr/bin/python3  # not the first python3 on PATH: a pyenv shim costs per call

need=()
for p in emscripten dpkg-dev cmake ninja-build make pkg-config; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  [ "$mode" = build ] || die "not built yet: ${need[*]} not even installed"
  log "installing ${need[*]}"
  apt update || log "warning: apt-get update reported errors"
  apt install --no-install-recommends "${need[@]}"
fi

# "package version" for each source package that apt-get source would fetch, from apt's lists.
srcvers() { apt-get source --print-uris -qq "$@" 2>/dev/null | sed -n "s/^'[^']*' \([^_]*\)_\(.*\)\.dsc .*/\1 \2/p"; }
if [ -z "$(srcvers zlib)" ]; then
  [ "$mode" = build ] || die "apt knows no source packages, so nothing can have been built"
  d=/etc/apt/sources.list.d  # Debian's own entries only: another repository may serve no sources
  log "apt knows no source packages: adding deb-src twins of Debian's entries as $d/ove-web-src.*"
  [ ! -e "$d/debian.sources" ] || sed 's/^Types:.*/Types: deb-src/' "$d/debian.sources" \
    | $SUDO tee "$d/ove-web-src.sources" >/dev/null
  [ ! -e /etc/apt/sources.list ] || sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list \
    | $SUDO tee "$d/ove-web-src.list" >/dev/null
  apt update || log "warning: apt-get update reported errors"
  [ -n "$(srcvers zlib)" ] || die "apt still finds no source packages (see $d)"
fi

vers=$(srcvers "${PKGS[@]}") || true
[ "$(grep -c . <<<"$vers")" -eq ${#PKGS[@]} ] || die "apt offers not all of ${PKGS[*]} as source packages"
ids="rev $REV; emcc $(emcc -dumpversion) ($(dpkg-query -W -f='${Version}' emscripten)); ${vers//$'\n'/; }"
cache=${OVE_WEB_CACHE:-$HOME/.cache/ove-web}
prefix=$cache/libs-$(echo "$ids" | sha256sum | cut -c1-12)
if [ -d "$prefix" ]; then log "cached at $prefix"; echo "$prefix"; exit 0; fi
[ "$mode" = build ] || die "not built yet: $prefix ($ids)"

log "building into $prefix ($ids)"
mkdir -p "$cache"
work=$(mktemp -d "$cache/.build-XXXXXX")  # a half build stays here, and goes on exit
trap 'rm -rf "$work"' EXIT
stage=$work/prefix src=$work/src
mkdir -p "$stage/lib/pkgconfig" "$stage/include" "$src"

run() {  # $1 log name, then a command; on failure shows the log's end
  local name=$1; shift
  "$@" >>"$work/$name.log" 2>&1 && return
  tail -n 40 "$work/$name.log" >&2; cp "$work/$name.log" "$cache/failed-$name.log"
  die "$name: '${*:1:2} ...' failed; whole log: $cache/failed-$name.log"
}
# Unpacks a source package, with Debian's patches, into $src/$1. The mirror may lack the newest
# source (the security archive's, here): then the next older version apt lists is taken, and said.
fetch() {
  local p=$1 v
  for v in "" $(apt-cache showsrc --only-source "$p" | sed -n 's/^Version: //p' | sort -urV); do
    rm -rf "$work/dl"; mkdir "$work/dl"
    if (cd "$work/dl" && apt-get source -qq -o APT::Sandbox::User=root "$p${v:+=$v}") >"$work/dl.log" 2>&1; then
      mv "$work/dl"/*/ "$src/$p"
      v=$(basename "$work"/dl/*.dsc .dsc); echo "$v" >>"$stage/VERSIONS"
      grep -qxF "$p ${v#*_}" <<<"$vers" || log "warning: the newest source of $p is not on the mirror; using $v"
      return
    fi
  done
  cat "$work/dl.log" >&2; die "could not fetch the source package $p"
}
upver() { sed -n "s/^$1_\([0-9][0-9.]*[0-9]\).*/\1/p" "$stage/VERSIONS"; }
# emcmake's own try_run emulator gives node a flag that Node 20 rejects, and emscripten 3.1.6's
# runtime fetch()es its .wasm wherever fetch exists: either way type sizes came out wrong.
emu=$(command -v node)
if node --no-experimental-fetch -e 0 2>/dev/null; then emu="$emu;--no-experimental-fetch"; fi
cm() {  # $1 source package, then cmake options: configures it with emcmake
  local name=$1; shift
  run "$name" emcmake cmake -S "$src/$name" -B "$work/build/$name" -G Ninja -Wno-dev \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$stage" -DCMAKE_PREFIX_PATH="$stage" \
    -DCMAKE_FIND_ROOT_PATH="$stage" -DCMAKE_CROSSCOMPILING_EMULATOR="$emu" "$@"
}
bi() { run "$1" cmake --build "$work/build/$1" -j2 && run "$1" cmake --install "$work/build/$1"; }

for p in "${PKGS[@]}"; do log "fetching $p ..."; fetch "$p"; done

log "building SDL2 $(upver libsdl2) ... (the longest step, about 5 minutes)"
cm libsdl2 -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_THREADS=OFF -DSDL_PTHREADS=OFF \
  -DSDL2_DISABLE_SDL2MAIN=ON
bi libsdl2

log "building SDL2_mixer $(upver libsdl2-mixer) ..."
cm libsdl2-mixer -DBUILD_SHARED_LIBS=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=OFF \
  -DSDL2_DIR="$stage/lib/cmake/SDL2" -DSDL2MIXER_SAMPLES=OFF -DSDL2MIXER_VENDORED=OFF \
  -DSDL2MIXER_DEPS_SHARED=OFF -DSDL2MIXER_CMD=OFF -DSDL2MIXER_WAVE=ON -DSDL2MIXER_VORBIS=STB \
  -DSDL2MIXER_MP3_DRMP3=ON -DSDL2MIXER_MP3_MPG123=OFF -DSDL2MIXER_FLAC_DRFLAC=ON \
  -DSDL2MIXER_FLAC_LIBFLAC=OFF -DSDL2MIXER_MIDI_TIMIDITY=ON -DSDL2MIXER_MIDI_FLUIDSYNTH=OFF \
  -DSDL2MIXER_MOD=OFF -DSDL2MIXER_OPUS=OFF
bi libsdl2-mixer
# A static SDL2_mixer installs no .pc. Libs names the archive: emcc takes -lSDL2_mixer for
# -sUSE_SDL_MIXER=2, the port, which downloads.
printf '%s\n' "prefix=$stage" 'Name: SDL2_mixer' 'Description: SDL2 mixer, static, for emscripten' \
  "Version: $(upver libsdl2-mixer)" 'Requires: sdl2' "Libs: \${prefix}/lib/libSDL2_mixer.a" \
  "Cflags: -I\${prefix}/include/SDL2" >"$stage/lib/pkgconfig/SDL2_mixer.pc"

log "building libjpeg-turbo $(upver libjpeg-turbo) ..."
cm libjpeg-turbo -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=ON -DWITH_JAVA=OFF
# The two libraries alone: its install target would first link a dozen command-line tools.
b=$work/build/libjpeg-turbo
run libjpeg-turbo cmake --build "$b" -j2 --target jpeg-static turbojpeg-static
cp "$b"/libjpeg.a "$b"/libturbojpeg.a "$stage/lib/"
cp "$b"/pkgscripts/libjpeg.pc "$b"/pkgscripts/libturbojpeg.pc "$stage/lib/pkgconfig/"
cp "$b"/jconfig.h "$src"/libjpeg-turbo/{jerror.h,jmorecfg.h,jpeglib.h,turbojpeg.h} "$stage/include/"

log "building zlib $(upver zlib) ..."
# Its own configure: its CMake, in Debian's tarball, lists the dropped win32/ folder, and builds
# the static and the (here also static) shared library into one libz.a, which Ninja refuses.
(cd "$src/zlib" && CFLAGS=-O2 run zlib emconfigure ./configure --static --prefix="$stage" \
  && run zlib emmake make -j2 install)

# Relocatable .pc files, as the stage moves into place once whole.
sed -i "s|$stage|\${pcfiledir}/../..|g" "$stage"/lib/pkgconfig/*.pc
! grep -rlI --exclude='*.log' "$stage" "$stage" >&2 || die "the files above still name the build folder"

log "checking that a program links against all of them with -sASYNCIFY ..."
cat >"$work/t.c" <<'END'
#include <SDL.h>
#include <SDL_mixer.h>
#include <stdio.h>
#include <jpeglib.h>
#include <turbojpeg.h>
#include <zlib.h>
int main(void) {
  struct jpeg_decompress_struct c; struct jpeg_error_mgr e; c.err = jpeg_std_error(&e);
  jpeg_create_decompress(&c); jpeg_destroy_decompress(&c); tjDestroy(tjInitDecompress());
  if (SDL_Init(SDL_INIT_AUDIO) == 0 && Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024) == 0) Mix_CloseAudio();
  SDL_Delay(Mix_Init(MIX_INIT_OGG | MIX_INIT_MP3 | MIX_INIT_FLAC | MIX_INIT_MID) ? 1 : 2);
  return zlibVersion()[0] == 0;
}
END
flags=$(PKG_CONFIG_LIBDIR="$stage/lib/pkgconfig" pkg-config --cflags --libs sdl2 SDL2_mixer libturbojpeg \
  libjpeg zlib) || die "pkg-config cannot read the .pc files in $stage/lib/pkgconfig"
read -ra flags <<<"$flags"
run check emcc -O1 -sASYNCIFY "$work/t.c" "${flags[@]}" -o "$work/t.js"  # goes with $work

mv -T "$stage" "$prefix" || die "could not move the build to $prefix"
rm -f "$cache"/failed-*.log
log "built in $((SECONDS / 60)) min $((SECONDS % 60)) s: $(tr '\n' ' ' <"$prefix/VERSIONS")"
echo "$prefix"
