#!/usr/bin/env bash
# What asking the database costs a rip: `varnelcd-cli rip --log` of a 74-minute disc image
# to WAV against the same rip with --no-accuraterip. Both take the track checksums (every
# rip does); the database URL is a closed port on loopback, so the lookup fails at once and
# the figure is what the lookup on its thread and the verdicts add. Medians of 3
# interleaved runs.
#   bench/accuraterip.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin accuraterip "${1:-build}" varnelcd-cli make-test-disc -- python3
bench_home
mkdir -p "$work/out"
# A closed port: nothing listens on it while the benchmark runs.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
args=()
for _ in $(seq 1 12); do args+=(--track "audio:27750"); done    # twelve 370 s tracks: 74 minutes
"$disc_tool" --out "$work/disc" "${args[@]}" >/dev/null
cat "$work/disc.bin" >/dev/null

with=() without=()
for _ in 1 2 3; do
  rm -f -- "$work"/out/*
  t0=$(now)
  "$cli" rip --disc-image "$work/disc.cue" --format wav --out "$work/out" --log "$work/rip.log" \
    --accuraterip-url "http://127.0.0.1:$port" >/dev/null 2>&1
  t1=$(now)
  rm -f -- "$work"/out/*
  "$cli" rip --disc-image "$work/disc.cue" --format wav --out "$work/out" --no-accuraterip >/dev/null 2>&1
  t2=$(now)
  with+=($((t1 - t0)))
  without+=($((t2 - t1)))
done
grep -q '^Summary: ' "$work/rip.log" || { echo "accuraterip: no rip log written" >&2; exit 1; }
python3 -c '
import statistics, sys
a = statistics.median(int(x) for x in sys.argv[1].split())
b = statistics.median(int(x) for x in sys.argv[2].split())
print("accuraterip: rip --log with checksums and lookup / rip --no-accuraterip time ratio %.2f (target <= 1.03)" % (a / b))
' "${with[*]}" "${without[*]}"
