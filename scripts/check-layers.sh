#!/usr/bin/env bash
# The folders are layers: a file may include only from its own folder or from a folder
# below it. Prints every include that points up (or sideways into another folder of the same
# rank) and fails when there is one. Tests, tools and benchmarks stand beside the layers.
set -euo pipefail
cd "$(dirname "$0")/.."

# From the bottom up; folders on one line share a rank and may not include each other.
layers=(
  "platform"
  "audio"
  "settings"
  "cd"
  "metadata"
  "encode"
  "jobs"
  "players"
  "app/core"
  "widgets"
  "windows"
  "app app/cli"
)
declare -A rank
for i in "${!layers[@]}"; do
  for dir in ${layers[$i]}; do rank[$dir]=$i; done
done

folder_of() {
  case "$1" in
    app/core/*) echo app/core ;;
    app/cli/*) echo app/cli ;;
    */*) echo "${1%%/*}" ;;
    *) echo "" ;;
  esac
}

bad=0
while IFS= read -r -d '' file; do
  from=$(folder_of "$file")
  [ -n "${rank[$from]+x}" ] || continue
  while IFS= read -r inc; do
    to=$(folder_of "$inc")
    [ -n "$to" ] && [ -n "${rank[$to]+x}" ] || continue
    [ "$to" = "$from" ] && continue
    if [ "${rank[$to]}" -ge "${rank[$from]}" ]; then
      echo "$file includes $inc: $to is not below $from"
      bad=1
    fi
  done < <(sed -n -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/p' "$file")
done < <(git ls-files -z -- '*.cpp' '*.h')

if [ $bad -ne 0 ]; then
  echo "include layering: FAILED (folders from the bottom up: ${layers[*]})"
  exit 1
fi
echo "include layering: ok"
