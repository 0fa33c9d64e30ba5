#!/bin/bash
# Builds the Debian package from a build tree, unpacks it into an empty folder and runs what it
# holds from there: the engine, the tool, the bundled demo and a game made by "ovetool new".
# usage: deb_test.sh BUILD_DIR
set -u
for tool in cpack dpkg-deb; do
  command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check DESCRIPTION COMMAND...: runs the command, counts a failure when it fails
  local what=$1; shift
  if "$@" >"$work/out" 2>&1; then
    echo "ok: $what"
  else
    echo "FAILED: $what"; sed 's/^/    /' "$work/out"; failures=$((failures + 1))
  fi
}

if ! (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg") >"$work/cpack.log" 2>&1; then
  echo "FAILED: cpack"; cat "$work/cpack.log"; exit 1
fi
deb=$(ls "$work"/pkg/*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { echo "FAILED: no .deb made"; cat "$work/cpack.log"; exit 1; }
echo "package: $(basename "$deb")"

# Control fields.
dpkg-deb -f "$deb" Package Section Maintainer Depends Description >"$work/control"
check "package is named ove" grep -qx 'Package: ove' "$work/control"
check "section games" grep -qx 'Section: games' "$work/control"
check "maintainer set" grep -q '^Maintainer: .*<.*@.*>' "$work/control"
check "description set" grep -q '^Description: .*adventure' "$work/control"
# Duktape is built into the engine (with our interrupt check), so it is no dependency.
for lib in libsdl2-2.0-0 libsdl2-mixer-2.0-0 libturbojpeg0 libgl1 libegl1 libfreetype6 zlib1g libc6; do
  check "depends on $lib" grep -q "^Depends:.*\\b$lib" "$work/control"
done

# Contents: what is meant to be there and nothing of the build's own.
root=$work/root
mkdir "$root"
dpkg-deb -x "$deb" "$root"
dpkg-deb -c "$deb" | awk '{print $6}' >"$work/list"
for f in usr/bin/ove usr/bin/ovetool usr/share/man/man6/ove.6 usr/share/man/man1/ovetool.1 \
         usr/share/doc/ove/scripting.md usr/share/ove/demo/DATA/main.ovs; do
  check "holds $f" bash -c "ls '$root/$f' '$root/$f.gz' 2>/dev/null | grep -q ."
done
check "no static libraries, tests or benchmarks" bash -c "! grep -E '\\.a\$|/test_|/bench_|gtest' '$work/list'"
if [ -f "$(dirname "$0")/../../docs/ove.d.ts" ]; then
  check "holds the TypeScript declarations" test -f "$root/usr/share/ove/ove.d.ts"
fi
if command -v man >/dev/null; then
  check "manual page renders" bash -c "MANWIDTH=80 man -l '$root/usr/share/man/man1/ovetool.1.gz' 2>/dev/null | grep -q 'new NAME' \
    || MANWIDTH=80 man -l '$root/usr/share/man/man1/ovetool.1' 2>/dev/null | grep -q 'new NAME'"
  # Each page as a reader sees it: on one line, spaces squeezed.
  page() { local f; f=$(ls "$root/usr/share/man/$1" "$root/usr/share/man/$1.gz" 2>/dev/null | head -n 1)
           LC_ALL=C MANWIDTH=200 man -l "$f" 2>/dev/null | tr -s ' \n' '  '; }
  page man6/ove.6 >"$work/ove.6.txt"
  page man1/ovetool.1 >"$work/ovetool.1.txt"
  for option in $("$root/usr/bin/ove" --help | grep -oE '^  --[a-z-]+'); do
    check "ove(6) describes $option" grep -qF -- "$option" "$work/ove.6.txt"
  done
  check "ove(6) mentions PNG screenshots" grep -q 'screenshot FILE.*PNG' "$work/ove.6.txt"
  check "ovetool(1) keeps the quotes of its JSON examples" \
    grep -qF '{"columns": 20, "rows": 15, "tiles": [...]} for one layer, or {"layers": [...], "properties": {...}}' \
    "$work/ovetool.1.txt"
fi

# The unpacked programs run.
bin=$root/usr/bin
check "ove --version" bash -c "'$bin/ove' --version | grep -q '^ove [0-9]'"
check "ovetool help lists its commands" bash -c "'$bin/ovetool' help | grep -q '^  new '"
check "the demo runs headless" "$bin/ove" --headless --frames 120 --game "$root/usr/share/ove/demo"
check "ovetool new makes a game" "$bin/ovetool" new "$work/mygame"
check "the new game runs headless" "$bin/ove" --headless --frames 60 --game "$work/mygame"

if [ $failures -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all package checks passed"
