#!/usr/bin/env bash
# Fails, listing file:line and the include, when a library under src/ includes a header of a library
# that is not below it. Usage: scripts/check-layers.sh [checkout, default: the one holding this script]
set -euo pipefail

# The layering, bottom to top: each library and the libraries it may include.
declare -A ALLOWED=(
  [io]=""
  [xml]="io"
  [image]="io"
  [platform]="io"
  [render]="image platform io"
  [sound]="io platform"
  [data]="io image xml"
  [resources]="data render sound image io platform"
  [walk]="data resources image io"
  [win]="platform io"
  [scene]="render walk resources data image io platform"
  [text]="data resources render image io platform"
  [tiles]="data resources render image io platform walk"
  [gui]="text data resources render image io platform"
  [duktape]=""
  [script]="duktape io platform"
  [host]="io xml image platform render sound data resources walk win scene text tiles gui script"
  [bindings]="io xml image platform render sound data resources walk win scene text tiles gui script host duktape"
)
# Never, whatever the table above says: the game host runs scripts through the script runtime only,
# and data files are parsed without drawing or sound.
declare -A NEVER=(
  [host]="duktape"
  [data]="render sound"
)

root=$(cd "${1:-$(dirname "$0")/..}" && pwd)
cd "$root"

# The library a path under src/ belongs to.
layer_of() {
  local p=${1#src/}
  case $p in
    */*) echo "${p%%/*}" ;;
    *) echo "" ;;
  esac
}

has() { [[ " $1 " == *" $2 "* ]]; }

status=0
report() { echo "$1"; status=1; }

while IFS= read -r file; do
  from=$(layer_of "$file")
  [ -n "$from" ] || continue
  if [ -z "${ALLOWED[$from]+x}" ]; then
    report "$file: src/$from is not in the layering table of scripts/check-layers.sh"
    continue
  fi
  dir=$(dirname "$file")
  while IFS= read -r hit; do
    line=${hit%%:*}
    text=${hit#*:}
    [[ $text =~ include[[:space:]]*[\<\"]([^\>\"]+) ]] || continue
    name=${BASH_REMATCH[1]}
    base=${name##*/}
    to=""
    if [[ $base == duktape.h || $base == duktape.c || $base == duk_*.h ]]; then
      to=duktape
    elif [[ $text == *\"* && -f $dir/$name ]]; then
      to=$(layer_of "$(realpath -m --relative-to=. "$dir/$name")")
    elif [ -f "src/$name" ] || [ -n "${ALLOWED[${name%%/*}]+x}" ]; then
      [[ $name == */* ]] && to=$(layer_of "src/$name")
    fi
    [ -n "$to" ] && [ "$to" != "$from" ] || continue
    if has "${NEVER[$from]:-}" "$to"; then
      report "$file:$line: ${text#"${text%%[![:space:]]*}"}  (src/$from never includes $to)"
    elif ! has "${ALLOWED[$from]}" "$to"; then
      report "$file:$line: ${text#"${text%%[![:space:]]*}"}  (src/$from may not include $to)"
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' "$file" || true)
done < <(find src -mindepth 2 -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' -o -name '*.inc' \) | sort)

if [ "$status" != 0 ]; then
  echo "Layering broken: the table at the top of scripts/check-layers.sh says which library may include which." >&2
fi
exit "$status"
