#!/usr/bin/env bash
# Configures (once) and builds one build tree. Usage: scripts/build.sh DIR [cmake options...] [-- targets...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1; shift
opts=(); targets=()
while [ $# -gt 0 ]; do
  if [ "$1" = "--" ]; then shift; targets=("$@"); break; fi
  opts+=("$1"); shift
done
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja "${opts[@]}" >/dev/null
fi
ninja -C "$dir" "${targets[@]}" | grep -v -E '^\[[0-9]+/[0-9]+\] ' || true
# ninja's own failure must still fail the script.
ninja -C "$dir" "${targets[@]}" >/dev/null
