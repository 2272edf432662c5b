#!/usr/bin/env bash
# What measuring the loudness costs a rip: a 74-minute disc image (ten tracks) ripped to
# FLAC with ReplayGain on (track values while ripping, the album's written into every file
# at the end) against the same rip with it off; medians of 3 interleaved runs.
#   bench/replaygain.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin replaygain "${1:-build}" varnelcd-cli make-test-disc
bench_home
mkdir -p "$work/on" "$work/off"
args=()
for _ in $(seq 10); do args+=(--track "audio:33300"); done    # ten 7.4-minute tracks
"$disc_tool" --out "$work/disc" "${args[@]}" >/dev/null
cat "$work/disc.bin" >/dev/null

on_times=() off_times=()
for _ in 1 2 3; do
  rm -f -- "$work"/on/* "$work"/off/*
  t0=$(now)
  "$cli" rip --disc-image "$work/disc.cue" --format flac --replaygain on --out "$work/on" >/dev/null 2>&1
  t1=$(now)
  "$cli" rip --disc-image "$work/disc.cue" --format flac --replaygain off --out "$work/off" >/dev/null 2>&1
  t2=$(now)
  on_times+=($((t1 - t0)))
  off_times+=($((t2 - t1)))
done
python3 -c '
import statistics, sys
a = statistics.median(int(x) for x in sys.argv[1].split())
b = statistics.median(int(x) for x in sys.argv[2].split())
print("replaygain: 74-minute rip to FLAC, ReplayGain on / off time ratio %.3f (target <= 1.03)" % (a / b))
' "${on_times[*]}" "${off_times[*]}"
