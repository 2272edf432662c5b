#!/usr/bin/env bash
# Configures (once) and builds one build tree. Usage: scripts/build.sh DIR [cmake options...] [-- targets...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1; shift
# Paths inside the tree are hashed relative to the build folder, so a clone elsewhere (CI's)
# reuses what an earlier build of the same sources compiled.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
opts=(); targets=()
while [ $# -gt 0 ]; do
  if [ "$1" = "--" ]; then shift; targets=("$@"); break; fi
  opts+=("$1"); shift
done
if [ ! -f "$dir/build.ninja" ]; then
  # A compiler cache makes the several build trees (plain, sanitizers, fuzz) cheaper.
  launcher=()
  if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "${opts[@]}" >/dev/null
fi
ninja -C "$dir" "${targets[@]}" | grep -v -E '^\[[0-9]+/[0-9]+\] ' || true
# ninja's own failure must still fail the script.
ninja -C "$dir" "${targets[@]}" >/dev/null
