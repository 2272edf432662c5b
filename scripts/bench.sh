#!/usr/bin/env bash
# Runs every benchmark and prints its figures as ratios against peer tools doing the same
# work in the same run (lower time ratio / higher throughput ratio is better for us).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
for b in bench/*.sh; do
  [ -f "$b" ] || continue
  [ "$b" != bench/common.sh ] || continue   # the preamble the others source
  bash "$b" build
done
